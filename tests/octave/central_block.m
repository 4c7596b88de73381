function b = central_block(y, sz)
  % The central block of size SZ of a full convolution (even excess only).
  total = size(y);
  first = (total(1:2) - sz) / 2 + 1;
  b = y(first(1):first(1)+sz(1)-1, first(2):first(2)+sz(2)-1);
end
