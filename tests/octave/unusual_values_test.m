% Values Octave can pass that the library has no class for: converted to
% double where that keeps their meaning, refused clearly otherwise, and
% never a crash or a leak.

% Other numeric classes arrive as their double values; char and logical keep theirs.
assert(isequal(touint(int16([-5 7 300])), uint8([0 7 255])));
assert(isequal(touint(single([1.5 -2 254.6])), uint8([2 0 255])));
assert(isequal(touint(uint16(65535)), uint8(255)));
assert(isequal(touint(int64(-9007199254740993)), uint8(0)));
assert(isequal(touint('A'), uint8(65)));
assert(isequal(touint([true false]), uint8([1 0])));

% Empty and n-D arrays keep their sizes both ways.
assert(isequal(size(touint(zeros(0, 3))), [0 3]));
assert(strcmp(class(touint([])), 'uint8'));
y = touint(reshape(-10:39, 2, 5, 1, 5));
assert(isequal(size(y), [2 5 1 5]));
assert(isequal(y(:)', uint8([zeros(1, 10), 0:39])));

% Values with no meaning to the library are refused before the call.
expect_error('touint(1 + 2i);', 'touint: Input 1 of "touint" is complex: the library takes real values only.');
expect_error('touint(sparse([1 0 2]));', 'touint: Input 1 of "touint" is sparse: the library takes full arrays only.');
expect_error('y = gaussfit(1, 2, struct(''w'', 1));', {'Input 3 of "gaussfit" is of class struct'});
expect_error('touint(@sin);', {'is of class function_handle'});
expect_error('touint({1, {2 + 1i}});', {'complex'});
[~, id] = lasterr();
assert(strcmp(id, 'ulvadern:input'));

% Cells pass through the conversion; the library's runtime decides what it
% does with them, and its errors come back as argument errors.
expect_error('touint({1, ''a''});', {'^touint: '});
[~, id] = lasterr();
assert(strcmp(id, 'ulvadern:args'));

% Degenerate shapes end in the library's error, not in a crash.
expect_error('[ca, ch, cv] = transfwav(zeros(0, 0), [0 0.125 0.375 0.375 0.125], [0 -2 2]);', {'^transfwav: '});
expect_error('[ca, ch, cv] = maltrans2d(ones(3, 3), [], 2);', {'^maltrans2d: '});
expect_error('[a, d] = lixo([], [1 2 1], [1 -1 0]);', {'^lixo: '});

% Parameters and data that cannot give a meaningful result are refused.
img = magic(20);
expect_error('y = ulvadern(img, 3, [1 1 1], NaN);', {'pot, .* must be a finite real scalar \(got NaN\)'});
expect_error('y = ulvadern(img, 3, [1 Inf 1]);', {'mult\(2\) is Inf'});
expect_error('y = ulvadern(img, Inf);', {'whole number of at least 1 \(got Inf\)'});
expect_error('[ca, ch, cv] = maltrans2d(img, [], 1.5);', {'\(got 1.5\)'});
expect_error('[a, d] = lixo([1 NaN 3 4], [1 2 1], [1 -1 0]);', {'x\(2\) is NaN'});
expect_error('[ca, ch, cv] = transfwav(ones(2, 9), [1 2 1], [1 -1 0]);', {'too short'});

% Repeated calls, failing ones included, leave no memory behind.
x = rand(256);
for k = 1:20  % warm up the allocators
  touint(x);
end
before = resident_kib();
for k = 1:400
  y = touint(x);
  [ca, ch, cv] = transfwav(x(1:64, 1:64), [0 0.125 0.375 0.375 0.125], [0 -2 2]);
  try
    touint(x, x);
  catch
  end
end
growth_kib = resident_kib() - before;
assert(growth_kib < 64 * 1024, sprintf('resident memory grew by %d KiB', growth_kib));
