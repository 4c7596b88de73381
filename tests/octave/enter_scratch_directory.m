function restore = enter_scratch_directory()
  % Moves into a new private directory; clearing the returned object moves
  % back and removes it. The library reads and writes its MAT-files in the
  % current directory, so tests never share one.
  home = pwd();
  work = tempname();
  mkdir(work);
  cd(work);
  restore = onCleanup(@() leave(home, work));
end

function leave(home, work)
  cd(home);
  confirm_recursive_rmdir(false, 'local');
  rmdir(work, 's');
end
