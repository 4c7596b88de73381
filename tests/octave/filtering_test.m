% The transforms against Octave's own arithmetic: conv2 and conv on the
% mirror-extended input, cropped to the central block.
lo = [0 0.125 0.375 0.375 0.125];
hi = [0 -2 2];
x = reshape(mod((1:23*19) * 37, 101), 23, 19);  % no symmetry to hide a flipped axis
tolerance = 1e-10;
close_to = @(a, b) isequal(size(a), size(b)) && max(abs(a(:) - b(:))) < tolerance;

% One level of transfwav.
[ca, ch, cv] = transfwav(x, lo, hi);
e = mirror_extend(x, numel(lo));
assert(close_to(ch, central_block(conv2(e, hi), size(x))));
assert(close_to(cv, central_block(conv2(e, hi'), size(x))));
assert(close_to(ca, central_block(conv2(lo, lo, e), size(x))));

% Two levels of maltrans2d: each page from the one before, with the filters
% dilated; the first level also in its closed form.
[ca, ch, cv] = maltrans2d(x, [], 2);
assert(isequal(size(ca), [23 19 3]) && isequal(ca(:, :, 1), x));
assert(~any(ch(:, :, 1)(:)) && ~any(cv(:, :, 1)(:)));
for level = 1:2
  page = ca(:, :, level);
  lo_i = dilate_filter(lo, level);
  hi_i = dilate_filter(hi, level);
  e = mirror_extend(page, numel(lo_i));
  assert(close_to(ch(:, :, level + 1), central_block(conv2(e, hi_i), size(x))));
  assert(close_to(cv(:, :, level + 1), central_block(conv2(e, hi_i'), size(x))));
  assert(close_to(ca(:, :, level + 1), central_block(conv2(lo_i, lo_i, e), size(x))));
end
assert(close_to(ch(:, :, 2), 2 * [x(:, 1), x(:, 1:end-1)] - 2 * x));
assert(close_to(cv(:, :, 2), 2 * [x(1, :); x(1:end-1, :)] - 2 * x));

% lixo, along a row and along a column.
for signal = {x(3, :), x(:, 5)}
  s = signal{1};
  [a, d] = lixo(s, lo, hi);
  if isrow(s)
    m = [s(5:-1:1), s, s(end:-1:end-4)];
  else
    m = [s(5:-1:1); s; s(end:-1:end-4)];
  end
  full_a = conv(m, lo);
  full_d = conv(m, hi);
  assert(close_to(a, full_a((numel(full_a) - numel(s)) / 2 + (1:numel(s)))));
  assert(close_to(d, full_d((numel(full_d) - numel(s)) / 2 + (1:numel(s)))));
end

% Decomposition and reconstruction give the image back, offset by N, away
% from the borders, where the details are filtered without extension.
[r, c] = ndgrid(1:64, 1:60);
smooth = round(100 + 60 * sin(r / 9) .* cos(c / 7));
for levels = 1:3
  [ca, ch, cv] = maltrans2d(smooth, [], levels);
  rebuilt = invmaltrans2d(ca, ch, cv, levels);
  assert(strcmp(class(rebuilt), 'uint8') && isequal(size(rebuilt), [64 60 levels + 1]));
  band = 6 * 2^(levels - 1);
  inner = @(p) p(band + 1:end - band, band + 1:end - band);
  assert(isequal(inner(double(rebuilt(:, :, 1))), inner(smooth + levels)));
end

% touint clips, then rounds halves away from zero.
assert(isequal(touint([0 255 -0.5 300 -Inf Inf 2.5 127.5 254.49]), uint8([0 255 0 255 0 255 3 128 254])));
assert(strcmp(class(touint(NaN)), 'uint8'));
assert(isequal(size(touint(ones(2, 3, 4))), [2 3 4]));
