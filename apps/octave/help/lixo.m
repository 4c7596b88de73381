% LIXO  One level of undecimated 1-D wavelet filtering.
%
%   [a, d] = lixo(x, LoF_D, HiF_D)
%
%   x      a real signal (vector), at least length(LoF_D) samples long
%   LoF_D  low-pass filter;  HiF_D  high-pass filter
%
%   The signal is extended by mirroring at both ends, filtered, and the
%   central part of its own length kept: a (approximation) and d (detail)
%   have the size of x. Nothing is subsampled. Writes no files.
%
%   See also TRANSFWAV.
