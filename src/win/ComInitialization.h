// COM for the calling thread, for as long as the object lives: CoInitialize
// (a single-threaded apartment) at construction, CoUninitialize at the end if
// the initialisation succeeded. The program holds one on its main thread; the
// shell namespace calls (GetShellLongPath) rely on it.
#pragma once

#include <objbase.h>

namespace saver::win {

class TComInitialization {
public:
    TComInitialization() : result_(CoInitialize(nullptr)) {}
    ~TComInitialization()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    TComInitialization(const TComInitialization&) = delete;
    TComInitialization& operator=(const TComInitialization&) = delete;

    // S_OK, S_FALSE when the thread had COM already, or the failure.
    HRESULT Result() const { return result_; }

private:
    HRESULT result_;
};

} // namespace saver::win
