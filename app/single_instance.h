#pragma once

class CInstanceLock;

// Looks for a top-level window of another process running this very executable
// whose title begins with the product name; brings it forward (restoring it
// when minimised) and returns true when one is found.
bool ActivateRunningInstance();

// Takes the launcher's instance lock. While another launcher of this
// executable holds it, waits for that one's window to appear (then brings it
// forward and returns false) or for the lock to come free (a launcher that
// is closing: after a language change, or an installation that starts the
// launcher it installed where it runs). Gives up, returning false, after 30 s.
bool BecomeTheOnlyInstance(CInstanceLock& lock);
