// The fault points of the in-memory machine: one for each call the platform makes of the
// system that can fail there, named after the call. The one list below gives the enumeration
// and each point's printed name; the machine, the tests and the fault matrices take both from
// here, so a misspelt point does not compile and a new one is in every matrix at once.
//
// Calls that cannot fail on Windows, or whose failure nobody can see, have no point: the
// clock (GetLocalTime, time), the program's own path (GetModuleFileNameA, given room), the
// error mode (SetErrorMode), closing a file (CloseHandle), text comparison and upper-casing
// (lstrcmpiA, CharUpperBuffA), and what the toolkit keeps of the process's own window
// (control texts and states, grid cells, a pump step, minimise, terminate).
#pragma once

#include <cstddef>
#include <ostream>
#include <string_view>

namespace platform::memory {

// clang-format off
#define QUORVEL_FAULT_POINTS(X)                                                                    \
    /* Files.h */                                                                                  \
    X(FileAttributes) X(ListFolder) X(FileSize) X(FreeBytes) X(CreateFolder) X(MoveFile)           \
    X(MoveFileEx) X(DeleteFile) X(AppendFile) X(OpenFile) X(SeekFile) X(ReadFile)                  \
    X(GetLongPathName)                                                                             \
    /* Http.h */                                                                                   \
    X(StartTransfer) X(ReceiveBody)                                                                \
    /* Processes.h */                                                                              \
    X(EnumProcesses) X(OpenProcess) X(GetModuleBaseName) X(WaitForSingleObject) X(CreateProcess)   \
    /* System.h */                                                                                 \
    X(GetEnvironmentVariable) X(GetVersionEx) X(CreateMutex) X(Sleep)                              \
    /* Clock.h */                                                                                  \
    X(GetDateFormat) X(GetLocaleInfo) X(GetTimeFormat)                                             \
    /* Crypto.h */                                                                                 \
    X(Sha256) X(Sha256Update) X(Sha256Finish) X(VerifyP256) X(GenerateP256) X(SignP256)            \
    /* Ui.h */                                                                                     \
    X(CreateWindow) X(SetTimer) X(GetMessage) X(MessageBox)
// clang-format on

enum class Op {
#define QUORVEL_OP_ENUMERATOR(name) name,
    QUORVEL_FAULT_POINTS(QUORVEL_OP_ENUMERATOR)
#undef QUORVEL_OP_ENUMERATOR
};

inline constexpr Op kAllOps[] = {
#define QUORVEL_OP_VALUE(name) Op::name,
    QUORVEL_FAULT_POINTS(QUORVEL_OP_VALUE)
#undef QUORVEL_OP_VALUE
};
inline constexpr std::size_t kOpCount = sizeof(kAllOps) / sizeof(kAllOps[0]);

constexpr std::string_view OpName(Op op) {
    constexpr std::string_view names[] = {
#define QUORVEL_OP_NAME(name) #name,
        QUORVEL_FAULT_POINTS(QUORVEL_OP_NAME)
#undef QUORVEL_OP_NAME
    };
    return names[static_cast<std::size_t>(op)];
}

inline std::ostream& operator<<(std::ostream& out, Op op) {
    return out << OpName(op);
}

} // namespace platform::memory
