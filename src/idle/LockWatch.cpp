#include "LockWatch.h"

std::unique_ptr<TIdleSource> OpenLockWatch() { return nullptr; }
