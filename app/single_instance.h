#pragma once

// Looks for a top-level window of another process running this very executable
// whose title begins with the product name; brings it forward (restoring it
// when minimised) and returns true when one is found.
bool ActivateRunningInstance();
