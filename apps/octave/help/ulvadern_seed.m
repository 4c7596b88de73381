% ULVADERN_SEED  Seed the random generators of the ulvadern library.
%
%   ulvadern_seed(s)   seeds them with s, a whole number from 0 to 2^64 - 1
%   ulvadern_seed()    restores the default seed, 20261207
%
%   ulvadern draws a faint perturbation of its image and the samples of its
%   mixture fits from these generators, which carry on from one call to the
%   next: two identical calls in a row differ slightly. Seeding before a
%   call makes it give the same result in this and any later Octave
%   session:
%
%     ulvadern_seed(7); a = ulvadern(x);
%     ulvadern_seed(7); b = ulvadern(x);   % isequal(a, b)
%
%   The generators start from the default seed when the library is loaded
%   (the first call of a session, or after clear functions).
%
%   See also ULVADERN.
