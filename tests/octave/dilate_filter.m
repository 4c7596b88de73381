function f = dilate_filter(f, level)
  % The filter with its taps 2^(level-1) samples apart.
  step = 2^(level-1);
  d = zeros(1, (numel(f) - 1) * step + 1);
  d(1:step:end) = f;
  f = d;
end
