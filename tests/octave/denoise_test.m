% ulvadern on an image loaded by Octave, and the MAT-files it leaves in the
% current directory, read back by Octave's own load.
samples = fullfile(fileparts(fileparts(fileparts(mfilename('fullpath')))), 'samples');
clean = double(imread(fullfile(samples, 'camera.png')));
noisy = imread(fullfile(samples, 'camera_noisy.png'));
scratch = enter_scratch_directory();

y = ulvadern(noisy);
assert(strcmp(class(y), 'uint8') && isequal(size(y), size(noisy)));
noise_before = mean(abs(double(noisy(:)) - clean(:)));
noise_after = mean(abs(double(y(:)) - clean(:)));
assert(noise_after < 0.75 * noise_before, sprintf('error %g before, %g after', noise_before, noise_after));

masks = load('mascaras.mat');
assert(isequal(fieldnames(masks), {'maskh'; 'maskv'}));
assert(isequal(size(masks.maskh), size(masks.maskv), [514 514 3]));
assert(all(masks.maskh(:) >= 0 & masks.maskh(:) <= 1 & masks.maskv(:) >= 0 & masks.maskv(:) <= 1));
sample = load('minimiza.mat');
assert(isfield(sample, 'vv') && isvector(sample.vv));

% Optional arguments, and an input class the library converts.
crop = int16(noisy(201:260, 301:345));
y = ulvadern(crop, 2, [1 0.5], 0.5);
assert(strcmp(class(y), 'uint8') && isequal(size(y), [60 45]));
masks = load('mascaras.mat');
assert(isequal(size(masks.maskh), [62 47 2]));

% The minimiser reaches gaussfit through the library's own function table:
% a gaussfit that Octave would find first is never called.
fid = fopen('gaussfit.m', 'w');
fprintf(fid, 'function y = gaussfit(varargin)\n  error(''decoy gaussfit called'');\nend\n');
fclose(fid);
rehash();
assert(strcmp(which('gaussfit'), fullfile(pwd(), 'gaussfit.m')));
y = ulvadern(crop);
assert(isequal(size(y), [60 45]));
delete('gaussfit.m');
rehash();

clear scratch
