/* kt_thread_id: the calling thread's identifier, for messages. */
#pragma once

#include <cstdint>

/* The kernel's identifier of the calling thread (the thread's id, not the process's). */
uint32_t kt_get_threadid(void);
