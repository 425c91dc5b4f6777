#pragma once
// The per-user lock that keeps a second front panel from starting.

#include <QLockFile>

#include <memory>

// The held lock, or nullptr when another instance of the panel holds it. A lock left
// behind by a killed instance is taken over.
std::unique_ptr<QLockFile> acquireSingleInstanceLock();
