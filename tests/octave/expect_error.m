function expect_error(code, expected)
  % Runs CODE in the caller's workspace and fails unless it raises an error
  % whose message is EXPECTED (a char row) or matches it (a cell {pattern}).
  try
    evalin('caller', code);
  catch failure
    if iscell(expected)
      ok = ~isempty(regexp(failure.message, expected{1}, 'once'));
    else
      ok = strcmp(failure.message, expected);
    end
    if ~ok
      error('test:wrongError', '%s\n  raised: %s', code, failure.message);
    end
    return;
  end
  error('test:noError', '%s\n  raised no error', code);
end
