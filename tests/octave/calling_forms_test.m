% The seven MEX files in one Octave session: count checks with the library's
% messages, "*" refusals, undefined inputs, multiple outputs, refused values.
names = {'ulvadern', 'gaussfit', 'maltrans2d', 'invmaltrans2d', 'lixo', 'transfwav', 'touint'};
declared_inputs = [-2 3 4 5 3 3 1];
declared_outputs = [1 1 3 1 2 3 1];
count_message = @(f, what, n) sprintf(['%s: Run-time Error: File: %s Line: 1 Column: 1 ' ...
    'The function "%s" was called with more than the declared number of %s (%d).'], f, f, f, what, n);
inputs = @(n) strjoin(repmat({'1'}, 1, n), ',');
outputs = @(n) strjoin(arrayfun(@(k) sprintf('o%d', k), 1:n, 'UniformOutput', false), ',');

for k = 1:numel(names)
  f = names{k};
  nout = declared_outputs(k);
  nin = max(declared_inputs(k), 1);
  % Too many outputs is reported even when there are also too many inputs.
  expect_error(sprintf('[%s] = %s(%s);', outputs(nout + 1), f, inputs(nin + 1)), ...
               count_message(f, 'outputs', nout));
  if declared_inputs(k) > 0
    expect_error(sprintf('o1 = %s(%s);', f, inputs(nin + 1)), count_message(f, 'inputs', nin));
  end
end

% Refusals by errargn: the reasons it reports are the error's message.
img = magic(8);
lo = [0 0.125 0.375 0.375 0.125];
hi = [0 -2 2];
expect_error('ulvadern(img);', 'ulvadern: invalid number of output arguments (0); expected 1.');
[~, id] = lasterr();
assert(strcmp(id, 'ulvadern:count'));
expect_error('y = ulvadern();', {'^ulvadern: invalid number of input arguments \(0\)'});
expect_error('y = ulvadern(img, 1, 1, 1, 1, 1);', {'^ulvadern: invalid number of input arguments \(6\)'});
% (transfwav and lixo report under the names errargn is given, e.g. dwt2.)
expect_error('[p, q] = transfwav(img, lo, hi);', {'^transfwav: .*invalid number of output arguments \(2\)'});
expect_error('a = transfwav(img);', {'^transfwav: .*invalid number of input arguments \(1\)'});
expect_error('a = lixo(1:8);', {'^lixo: .*invalid number of input arguments'});

% Inputs left out are undefined, named as the library names them (gaussfit
% reads its samples first, from the current directory).
expect_error('y = touint();', 'touint: Input argument "x" is undefined.');
scratch = enter_scratch_directory();
vv = 1;
save('-v7', 'minimiza.mat', 'vv');
expect_error('y = gaussfit(1, 2);', 'gaussfit: Input argument "w" is undefined.');
clear scratch
expect_error('ca = maltrans2d(img);', 'maltrans2d: Input argument "type" is undefined.');
expect_error('x = invmaltrans2d(img, img, img);', 'invmaltrans2d: Input argument "type" is undefined.');

% Multiple outputs, and the first output alone.
[ca, ch, cv] = transfwav(img, lo, hi);
assert(isequal(size(ca), size(ch), size(cv), [8 8]));
assert(isequal(transfwav(img, lo, hi), ca));
[a, d] = lixo(1:8, [0.25 0.5 0.25], [0.5 -0.5 0]);
assert(isequal(size(a), size(d), [1 8]));
[ca, ch, cv] = maltrans2d(img, [], 1);
assert(isequal(size(ca), size(ch), size(cv), [8 8 2]));

% A level count that would leave the details unassigned is refused, with
% the library's message and identifier.
expect_error('[ca, ch] = maltrans2d(img, [], 0);', ...
             {'^maltrans2d: N, the number of levels, must be a whole number of at least 1 \(got 0\)'});
[~, id] = lasterr();
assert(strcmp(id, 'ulvadern:args'));

% Clearing some MEX files keeps the library open for the others; clearing
% all of them closes it, and the next call opens and initialises it again.
clear touint
assert(isequal(touint(300), uint8(255)));
ca = maltrans2d(img, [], 1);
assert(isequal(ca(:, :, 1), img));
clear functions
assert(isequal(touint([-1 7]), uint8([0 7])));

% The runtime shares the process with Octave's mx* functions: none of our
% exported symbols may be a plain C name, and the library exports one entry.
build = fileparts(fileparts(which('touint')));
for library = {'libulvhost.so', 'libulvadern.so', 'octave/libulvoctave.so'}
  [status, symbols] = system(sprintf('nm -D --defined-only "%s/%s"', build, library{1}));
  if status == 0  % nm present
    assert(isempty(regexp(symbols, '\s[TDBVW] (mx|mcl|mlf|mex)\w*\n', 'once')), library{1});
  end
end
[status, exported] = system(sprintf('nm -D --defined-only "%s/libulvadern.so"', build));
assert(status ~= 0 || numel(regexp(exported, '\s[TDBVW] ', 'match')) == 1);
