% gaussfit reads vv from "minimiza.mat" in the current directory: files
% written by Octave's own save, in both of its MAT formats.
scratch = enter_scratch_directory();

objective = @(vv, x1, x2, w) -sum(log(1e-15 + w * exp(-(vv / x1).^2) / x1 ...
                                      + (1 - w) * exp(-(vv / x2).^2) / x2));
randn('seed', 7);
vv = [randn(300, 1) * 2; randn(60, 1) * 25];
for format = {'-v7', '-v6'}
  save(format{1}, 'minimiza.mat', 'vv');
  for p = [1.5 12 0.7; 0.3 40 0.05; 4 5 0.98]'
    expected = objective(vv, p(1), p(2), p(3));
    assert(abs(gaussfit(p(1), p(2), p(3)) - expected) <= 1e-12 * abs(expected));
  end
end

% The shape of vv does not matter; an empty vv sums to zero; a sample where
% both components underflow contributes -log(1e-15).
vv = reshape(vv(1:360), 20, 18);
save('-v7', 'minimiza.mat', 'vv');
assert(abs(gaussfit(1.5, 12, 0.7) - objective(vv(:), 1.5, 12, 0.7)) < 1e-9);
vv = zeros(0, 1);
save('-v7', 'minimiza.mat', 'vv');
assert(gaussfit(1, 2, 0.5) == 0);
vv = 1e6;
save('-v7', 'minimiza.mat', 'vv');
assert(abs(gaussfit(1, 2, 0.5) - 34.538776394910684) < 1e-12);

% A w stored beside vv takes the argument's place.
vv = [0.5; -1; 3];
w = 0.25;
save('-v7', 'minimiza.mat', 'vv', 'w');
assert(abs(gaussfit(1, 4, 0.9) - objective(vv, 1, 4, 0.25)) < 1e-12);

% Without the file the call fails with the library's error.
delete('minimiza.mat');
expect_error('gaussfit(1, 2, 0.5);', {'^gaussfit: '});

clear scratch
