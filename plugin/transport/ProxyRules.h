#pragma once

#include <string>
#include <string_view>
#include <vector>

// How a request reads a ProxyInfo: which entry of the proxy list it uses and
// which hosts the bypass list sends direct.
namespace quibra::proxy_rules {

// The first entry of `proxyList` that serves the scheme ("host:port" serves
// both, "http=" / "https=" entries only their own), in the form libcurl takes
// for CURLOPT_PROXY; empty when no entry serves it.
std::string ChooseProxy(std::wstring_view proxyList, bool secure);

// Whether `host` matches the bypass list by a rule that libcurl's no-proxy list
// cannot express: "<local>" (a name without a dot) or a "*" wildcard inside an
// entry ("192.168.*", "*.corp.*"). Case-insensitive.
bool IsBypassedByPattern(std::wstring_view bypassList, std::wstring_view host);

// The entries of the bypass list that libcurl's CURLOPT_NOPROXY understands,
// comma-separated: names (a leading "*." becomes a domain suffix), addresses,
// address ranges, or "*" for every host.
std::string ToCurlNoProxy(std::wstring_view bypassList);

// Maps the answer of FindProxyForURL ("PROXY a:1; SOCKS5 b:2; DIRECT") to a
// proxy list. The proxies before the first DIRECT are kept in order; `direct`
// is set when DIRECT comes first. False when the answer names nothing usable.
bool FromPacAnswer(std::string_view answer, std::wstring& proxyList, bool& direct);

// The authentication schemes one Proxy-Authenticate value offers, in order and
// in lower case: a value may hold several challenges ("Negotiate, NTLM",
// "Digest realm=\"a, b\", nonce=\"n\", Basic realm=\"c\""), and a comma inside a
// quoted string or between parameters starts no new scheme.
std::vector<std::string> OfferedSchemes(std::string_view challenge);

}  // namespace quibra::proxy_rules
