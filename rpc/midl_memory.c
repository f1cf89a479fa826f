/* The stubs' allocator and deallocator, shared by the client and the server side. */
#include <stdlib.h>

#include <rpc.h>

void* __RPC_USER MIDL_user_allocate(size_t size) { return malloc(size); }

void __RPC_USER MIDL_user_free(void* pointer) { free(pointer); }
