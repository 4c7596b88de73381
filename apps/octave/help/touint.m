% TOUINT  Clip to 0..255 and convert to uint8.
%
%   y = touint(x)
%
%   Every value of x is clipped to the range 0..255 and converted to
%   uint8 (rounded to the nearest). Writes no files.
%
%   See also INVMALTRANS2D.
