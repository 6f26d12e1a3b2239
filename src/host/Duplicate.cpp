// Named-mutex claims: OpenMutexA tells whether the name exists; only when it
// does not is the mutex created.
#include "host/Duplicate.h"

namespace saver {

std::string InstanceName;
HANDLE InstanceHandle = nullptr;

static_assert(MUTEX_ALL_ACCESS == 0x1F0001);

bool ClaimNamedMutex(HANDLE& handle, const std::string& name)
{
    // Overwriting a held claim would leak its handle and keep its name alive.
    ReleaseNamedMutex(handle);
    HANDLE existing = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name.c_str());
    if (existing) {
        ReleaseNamedMutex(existing);
        return false;
    }
    handle = CreateMutexA(nullptr, FALSE, name.c_str());
    return handle != nullptr;
}

void ReleaseNamedMutex(HANDLE& handle)
{
    if (!handle)
        return;
    // Nobody ever owns these mutexes, so this release normally fails with
    // ERROR_NOT_OWNER; it matters only if some code did wait on one.
    ReleaseMutex(handle);
    CloseHandle(handle);
    handle = nullptr;
}

bool ClaimInstance(const std::string& name)
{
    InstanceName = name;
    return ClaimNamedMutex(InstanceHandle, name);
}

void ReleaseInstance() { ReleaseNamedMutex(InstanceHandle); }

} // namespace saver
