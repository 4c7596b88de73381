% INVMALTRANS2D  Inverse of MALTRANS2D, to 8-bit gray levels.
%
%   x = invmaltrans2d(ca, ch, cv, N)
%   x = invmaltrans2d(ca, ch, cv, N, type)
%
%   ca, ch, cv  the stacks maltrans2d returns (rows x cols x (N+1) or more)
%   N           number of levels
%   type        wavelet name for wfilters; with four inputs the default
%               quadratic-spline filters are used
%
%   x is uint8, rows x cols x (N+1): page 1 the rebuilt image, page k+1
%   the approximation at level k. Every value has N ADDED (the +N offset
%   that ulvadern's results carry) and is clipped to 0..255.
%   Writes no files.
%
%   See also MALTRANS2D, TOUINT, ULVADERN.
