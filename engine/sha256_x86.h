// The SHA-256 path of the x86 SHA extensions (sha256_x86.cpp, the only file compiled for them).
// Only sha256.cpp calls it, when it chooses the process's path.
#pragma once

struct Sha256Path;

// The x86 path where the processor has the SHA extensions (with the SSSE3 and SSE4.1 they come
// with) and the program was built for them; else nullptr.
const Sha256Path* sha256_x86();
