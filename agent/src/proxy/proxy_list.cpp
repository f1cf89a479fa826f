#include "proxy/proxy_list.h"

namespace brisko {

std::string BuildProxyList(const std::string& httpHost, int httpPort, const std::string& httpsHost, int httpsPort) {
    std::string spec;
    if (!httpHost.empty()) spec = "http=" + httpHost + ":" + std::to_string(httpPort);
    if (!httpsHost.empty()) {
        if (!spec.empty()) spec += ";";
        spec += "https=" + httpsHost + ":" + std::to_string(httpsPort);
    }
    return spec;
}

}  // namespace brisko
