#include "service_rpc/service_binding.h"

#include <string>

namespace brisko {

RPC_STATUS bindServiceEndpoint(UniqueRpcBinding& binding) {
    wchar_t protocol[] = L"ncalrpc";
    std::wstring endpoint = kServiceEndpoint;
    RPC_WSTR text = nullptr;
    if (const RPC_STATUS status = ::RpcStringBindingComposeW(nullptr, reinterpret_cast<RPC_WSTR>(protocol), nullptr,
                                                             reinterpret_cast<RPC_WSTR>(endpoint.data()), nullptr, &text);
        status != RPC_S_OK)
        return status;
    const RPC_STATUS status = ::RpcBindingFromStringBindingW(text, binding.put());
    ::RpcStringFreeW(&text);
    return status;
}

}  // namespace brisko
