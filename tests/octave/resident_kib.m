function kib = resident_kib()
  % The process's resident memory in KiB.
  status = fileread('/proc/self/status');
  kib = sscanf(status(strfind(status, 'VmRSS:') + 6:end), '%d', 1);
end
