% What an Octave user meets: help texts, seeding, error identifiers by kind,
% messages without a doubled prefix, and the warning for [0, 1] images.
names = {'ulvadern', 'gaussfit', 'maltrans2d', 'invmaltrans2d', 'lixo', 'transfwav', 'touint', ...
         'ulvadern_seed'};
for k = 1:numel(names)
  text = get_help_text(names{k});
  assert(~isempty(strfind(text, [upper(names{k}) '  '])), names{k});
  assert(strcmp(which(names{k})(end-3:end), '.mex'), names{k});  % the help file never runs
end
text = get_help_text('ulvadern');
for phrase = {'+N offset', 'mascaras.mat', 'minimiza.mat', 'default 3', 'ulvadern_seed', 'ulvadern:count'}
  assert(~isempty(strfind(text, phrase{1})), phrase{1});
end

% Seeding reproduces a call; the generators otherwise carry on. The image is
% large enough for the fits to draw samples.
x = double(mod((1:128)' * (1:128), 251));
scratch = enter_scratch_directory();
ulvadern_seed(7);
a = ulvadern(x);
b = ulvadern(x);
ulvadern_seed(7);
assert(isequal(ulvadern(x), a));
assert(~isequal(a, b));
ulvadern_seed();
c = ulvadern(x);
ulvadern_seed(20261207);
assert(isequal(ulvadern(x), c));
expect_error('ulvadern_seed(-1);', 'ulvadern_seed: the seed must be a whole number from 0 to 2^64 - 1');
[~, id] = lasterr();
assert(strcmp(id, 'ulvadern:args'));
expect_error('ulvadern_seed(1.5);', {'whole number'});
expect_error('ulvadern_seed(1, 2);', {'at most one input'});
[~, id] = lasterr();
assert(strcmp(id, 'ulvadern:count'));

% Identifiers by kind; the library's messages carry the function's name once.
function check_error(code, id, pattern)
  try
    evalin('base', code);
  catch failure
    assert(strcmp(failure.identifier, id), [code ': ' failure.identifier]);
    assert(~isempty(regexp(failure.message, pattern, 'once')), [code ': ' failure.message]);
    assert(isempty(strfind(failure.message, 'ulvadern: ulvadern:')), failure.message);
    return;
  end
  error('test:noError', '%s raised no error', code);
end
check_error('[p, q] = ulvadern(magic(40));', 'ulvadern:count', 'declared number of outputs');
check_error('y = ulvadern(magic(40), 1, 1, 1, 1, 1);', 'ulvadern:count', ...
            '^ulvadern: invalid number of input arguments \(6\); expected');
check_error('y = ulvadern(magic(40), 0);', 'ulvadern:args', '^ulvadern: N, the number of levels');
check_error('y = ulvadern({1});', 'ulvadern:args', '^ulvadern: ');
check_error('y = ulvadern(magic(40) + 1i);', 'ulvadern:input', 'complex');
delete('minimiza.mat');
check_error('y = gaussfit(1, 2, 0.5);', 'ulvadern:file', 'minimiza');

% A double image in [0, 1] is warned of; the result stays the library's.
lastwarn('');
ulvadern_seed(3);
y = ulvadern(x / 255);
[~, id] = lastwarn();
assert(strcmp(id, 'ulvadern:range'));
warning('off', 'ulvadern:range');
ulvadern_seed(3);
assert(isequal(ulvadern(x / 255), y));
warning('on', 'ulvadern:range');
for quiet = {uint8(x), x, 0.5}
  lastwarn('');
  try
    ulvadern(quiet{1});
  catch
  end
  [~, id] = lastwarn();
  assert(~strcmp(id, 'ulvadern:range'));
end
clear scratch
