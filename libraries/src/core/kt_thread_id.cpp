#include "kt_thread_id.h"

#include <sys/syscall.h>
#include <unistd.h>

uint32_t kt_get_threadid(void) { return static_cast<uint32_t>(syscall(SYS_gettid)); }
