function e = mirror_extend(x, width)
  % The library's border extension: WIDTH samples on each side taken in
  % reverse order from the border, edge sample repeated; columns, then rows.
  e = [x(:, width:-1:1), x, x(:, end:-1:end-width+1)];
  e = [e(width:-1:1, :); e; e(end:-1:end-width+1, :)];
end
