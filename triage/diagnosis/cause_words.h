#pragma once

// Each cause in words for whoever reads a board: a headline that completes
// the run's verdict ("2 errors: the hosts file redirects the service host"),
// and what the cause and the codes in its finding mean, for a reader who is
// not a support engineer. One row per cause id Diagnose() gives.

#include <string_view>

namespace triage {

struct CauseWords {
    std::string_view id;
    const char* headline;
    const char* meaning;
};

inline constexpr CauseWords kCauseWords[] = {
    {"fix-failed", "the /fix import of the root certificate failed",
     "zemlodiag.exe /fix tried to add the service's root certificate to the certificates Windows trusts, and Windows "
     "refused; the number is the Windows error code it gave."},
    {"platform-compat", "the program ran under compatibility settings",
     "Compatibility settings on zemlodiag.exe make Windows pretend to be an older version, so the version shown, and "
     "what depends on it, is not this PC's."},
    {"clock", "the PC's clock is wrong",
     "Secure connections check certificate dates against the PC's clock: with the clock far off, the service's "
     "certificate looks expired or not yet valid."},
    {"sha2-unsupported", "this Windows cannot check SHA-2 signatures",
     "The service's certificate is signed with SHA-256 (SHA-2); an old Windows needs an update to check such a "
     "signature. The hex value is the Windows error code of the check."},
    {"root-update-disabled", "root certificate auto update is switched off",
     "Windows normally downloads a root certificate it lacks when a connection needs it; a policy "
     "(DisableRootAutoUpdate) or the Update Root Certificates component switched that off here."},
    {"root-update-unknown", "the state of root certificate auto update could not be read",
     "The diagnostic could not read whether Windows may download missing root certificates."},
    {"proxy-localsystem", "a proxy is set for LocalSystem, the account the product's services run as",
     "A proxy is a server that connections go through. The product's background services run as the LocalSystem "
     "account, so this proxy carries their connections."},
    {"proxy", "a proxy is configured",
     "A proxy is a server that connections go through; ProxyServer names it and ProxyOverride lists what bypasses "
     "it."},
    {"hosts-service-host", "the hosts file redirects the service host",
     "The hosts file (a small Windows file) overrides name lookups: a line in it sends the product to an address "
     "that is not the service's."},
    {"hosts-vendor-domain", "the hosts file redirects other names of the vendor",
     "The hosts file (a small Windows file) overrides name lookups: lines in it send other names of the vendor to "
     "fixed addresses."},
    {"hosts-match-not-entry", "the hosts file mentions the vendor's names without redirecting them",
     "The hosts file names the vendor in a comment or a longer name; such a line changes nothing."},
    {"dns-failure", "the service host's name could not be looked up",
     "GetAddrInfoW is the Windows function that looks a name up in DNS; its code says why it failed (11001: the name "
     "is unknown, 11002: usually no network or DNS server)."},
    {"dns-unexpected-address", "the service host resolves to an address that is not the service's",
     "The name lookup (DNS) gave an address the service does not use: something on the way redirects the name."},
    {"chain-untrusted", "Windows does not trust the service's certificate chain",
     "The certificate chain links the service's certificate to a root certificate Windows trusts. chainTrust holds "
     "what is wrong as flags: 0x00000001 a date is not valid, 0x00000020 the root is not trusted, 0x00010000 no "
     "root was found; chainPolicyStatus is Windows' error code for the check."},
    {"chain-api-failure", "a Windows certificate function failed",
     "A Windows function that checks certificates failed before it could judge the chain; LastApiError is its "
     "Windows error code."},
    {"report-cut-short", "the run was cut short",
     "The log stops before the diagnostic finished, so the checks after that point are missing."},
    {"report-lines-unplaced", "report lines stand inside the hosts file's text",
     "Some of the report's own lines appear where the hosts file's text is quoted, so the sections they open could "
     "not be read."},
};

// The row of `id`, or null for an id without one.
inline const CauseWords* WordsOfCause(std::string_view id)
{
    for (const CauseWords& row : kCauseWords) {
        if (row.id == id)
            return &row;
    }
    return nullptr;
}

}  // namespace triage
