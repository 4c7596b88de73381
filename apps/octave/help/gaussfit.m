% GAUSSFIT  Mixture objective of ulvadern's fits.
%
%   y = gaussfit(x1, x2, w)
%
%   The negative log-likelihood (without its constant term) of the samples
%   vv under the zero-mean mixture
%     p(v) = w * exp(-(v/x1)^2)/x1 + (1 - w) * exp(-(v/x2)^2)/x2,
%   floored so that the logarithm stays finite.
%
%   x1, x2  the scales of the two components (real scalars)
%   w       the weight of the x1 component
%
%   Files: reads the variable vv from "minimiza.mat" in the current
%   directory, where ulvadern writes each fit's sample; without that file
%   the call fails (ulvadern:file).
%
%   See also ULVADERN.
