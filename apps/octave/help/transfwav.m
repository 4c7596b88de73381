% TRANSFWAV  One level of undecimated 2-D wavelet filtering.
%
%   [ca, ch, cv] = transfwav(x, LoF_D, HiF_D)
%
%   x      a real image
%   LoF_D  low-pass filter;  HiF_D  high-pass filter
%
%   The image is extended by mirroring at its borders; ca is it low-pass
%   filtered along both axes, ch high-pass filtered along the rows, cv
%   along the columns; all three have the size of x. Writes no files.
%
%   See also MALTRANS2D, LIXO.
