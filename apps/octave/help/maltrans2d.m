% MALTRANS2D  Forward undecimated 2-D wavelet transform (Mallat's dyadic).
%
%   [ca, ch, cv] = maltrans2d(x, map, N)
%   [ca, ch, cv] = maltrans2d(x, map, N, type)
%
%   x     the image, a real double matrix
%   map   accepted and not read (ulvadern passes its colour map)
%   N     number of levels
%   type  wavelet name for wfilters; with three inputs the default
%         quadratic-spline filters are used
%
%   ca, ch, cv are rows x cols x (N+1): page 1 of ca is x, page k+1 the
%   approximation at level k; page k+1 of ch and cv the horizontal and
%   vertical details of level k (page 1 zeros). Nothing is subsampled.
%   Writes no files.
%
%   See also INVMALTRANS2D, TRANSFWAV, ULVADERN.
