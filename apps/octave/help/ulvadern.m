% ULVADERN  Edge-preserving wavelet denoising of a gray-level image.
%
%   y = ulvadern(x)
%   y = ulvadern(x, N)
%   y = ulvadern(x, N, mult)
%   y = ulvadern(x, N, mult, pot)
%
%   x     the image: a real 2-D matrix of gray levels 0..255 (uint8, or
%         double on that scale; an im2double image in [0, 1] gets the
%         warning ulvadern:range and comes back flat). Colour images: one
%         channel at a time.
%   N     number of wavelet levels, a whole number >= 1 (default 3); each
%         side of x needs 1 + 4 * 2^(N-1) - 2 pixels.
%   mult  gains of the levels' details, at least N finite values
%         (default [1 1 1 1 1]).
%   pot   exponent of the power mean that fuses the masks of neighbouring
%         levels, finite (default 0.3).
%
%   y is uint8, the size of x, and N gray levels BRIGHTER than the denoised
%   image (the +N offset), clipped to 0..255. For the image without the
%   offset and without clipped highlights, denoise x - N:
%
%     y = ulvadern(double(x) - 3);      % default N = 3
%
%   Files: the call writes "minimiza.mat" (each fit's sample) and
%   "mascaras.mat" (maskh and maskv, the edge-probability masks of the
%   image grown by a one-pixel border, (rows+2) x (cols+2) x N) to the
%   current directory, replacing earlier ones.
%
%   Random draws (a faint perturbation and the fits' samples) come from the
%   library's generators: ulvadern_seed(s) before a call reproduces it.
%
%   Errors have the identifiers ulvadern:count (numbers of inputs or
%   outputs), ulvadern:args (argument values), ulvadern:input (Octave types
%   the library has no class for), ulvadern:file (MAT-files),
%   ulvadern:memory and ulvadern:internal.
%
%   See also ULVADERN_SEED, MALTRANS2D, INVMALTRANS2D, GAUSSFIT.
