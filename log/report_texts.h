#pragma once

// Every fixed text and message format of the report, in report order. The
// diagnostic prints them; zemlotriage reads reports back with the same
// constants, so the two cannot drift apart. Portable: no platform header.
// Formats follow the C runtime's wide printf (%s wide, %S 8-bit).

// Run log
inline constexpr wchar_t kErrorPrefix[] = L"error: ";
inline constexpr wchar_t kWarningPrefix[] = L"warning: ";
inline constexpr wchar_t kStartBanner[] =
    L"\r\n###########################################\r\n"
    L"Log start time: %04d.%02d.%02d %02d:%02d.%02d\r\n"
    L"###########################################\r\n";
inline constexpr wchar_t kEndBanner[] =
    L"\r\n###########################################\r\n"
    L"Log end time: %04d.%02d.%02d %02d:%02d.%02d\r\n"
    L"###########################################\r\n";
inline constexpr wchar_t kCannotSetFilePointer[] = L"\r\nCannot set file pointer (gle: 0x%08X)";
inline constexpr wchar_t kCannotWrite[] = L"\r\nCannot write to file (gle: 0x%08X)";
inline constexpr wchar_t kShortWrite[] = L"\r\nCannot write all data from file, requested %d bytes, written %d bytes.";
inline constexpr wchar_t kCannotCloseFile[] = L"\r\nCannot close file";

// Run driver
inline constexpr wchar_t kLocalSystemUser[] = L"User: NT AUTHORITY\\SYSTEM\r\n";
inline constexpr wchar_t kTestAfterImportBanner[] =
    L"\r\n\r\n==================\r\nTest after import\r\n==================\r\n";
inline constexpr wchar_t kPrompt[] = L"\r\n\r\nPress any key to quit...";

// Root certificate import (/fix)
inline constexpr wchar_t kImportingCertificate[] = L"\r\nImporting certificate: ";
inline constexpr wchar_t kImportSubject[] =
    L"\r\n\r\nSubject: CN = thawte Primary Root CA - G3, OU = (c) 2008 thawte, Inc. - For authorized use only, "
    L"OU = Certification Services Division, O = thawte, Inc., C = US";
inline constexpr wchar_t kImportSerial[] = L"\r\nSerial number: 60 01 97 b7 46 a7 ea b4 b4 9a d6 4b 2f f7 90 fb";
inline constexpr wchar_t kImportCannotOpenStore[] = L"\r\nError: Cannot open system trusted root store";
inline constexpr wchar_t kImportAddFailed[] = L"\r\nError: CertAddCertificateContextToStore returned error %u\r\n";
inline constexpr wchar_t kImportSucceeded[] = L"\r\n\r\nCertificate successfully imported";

// System and product information
inline constexpr wchar_t kOsVersion[] =
    L"OS version: %d.%d.%d (%d.%d) \"%s\", PlatformId: %d, ProductType: 0x%08X, SuiteMask: 0x%08X";
inline constexpr wchar_t kPlatformIdError[] =
    L"\r\nError: Probably application compatibility is set or inherited from parent process (platformID = %d)\r\n";
inline constexpr wchar_t kArchitecture[] = L"\r\nOS processor architecture: %s (%04x), ";
inline constexpr wchar_t kUnknownArchitecture[] = L"Unknown";
inline constexpr wchar_t kValueSeparator[] = L", ";
inline constexpr wchar_t kRegStringValue[] = L"%s: %s";
inline constexpr const wchar_t* kWindowsBuildValues[] = {L"BuildLab", L"BuildLabEx", L"ProductName"};
inline constexpr wchar_t kProductLine[] = L"\r\nZEMLO Product: ";
inline constexpr const wchar_t* kProductValues[] = {L"ProductType", L"ProductVersion", L"LanguageCode"};
inline constexpr wchar_t kProductLineEnd[] = L"\r\n";

// Verdict of the sections that have one
inline constexpr wchar_t kOk[] = L"\r\nOK";

// System time
inline constexpr wchar_t kSystemTime[] = L"\r\nSystem time is: %04d.%02d.%02d %02d:%02d.%02d";
inline constexpr wchar_t kInvalidSystemTime[] = L"\r\nError: Windows has invalid system time";

// SHA-2 support
inline constexpr wchar_t kSha2Title[] = L"\r\n\r\nSHA2 support:";
inline constexpr wchar_t kAcquireFailed[] = L"\r\nError: CryptAcquireContext failed with error gle: 0x%08x";
inline constexpr wchar_t kAcquireNewKeysetFailed[] =
    L"\r\nError: CryptAcquireContext(CRYPT_NEWKEYSET) failed with error gle: 0x%08x";
inline constexpr wchar_t kSha2Unsupported[] = L"\r\nError: System does not support SHA2";
inline constexpr wchar_t kCreateHashFailed[] = L"\r\nError: CryptCreateHash failed with error gle : 0x%08x";

// Root certificate auto update
inline constexpr wchar_t kRootUpdateTitle[] = L"\r\n\r\nTrusted store auto update configuration:";
inline constexpr wchar_t kSetupKeyOpenError[] =
    L"\r\nError: Cannot open key SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents "
    L"[gle:0x%08x]";
inline constexpr wchar_t kComponentMissing[] =
    L"\r\nSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents"
    L"\\rootautoupdate does not not exists - Warning";
inline constexpr wchar_t kComponentEnabled[] =
    L"\r\nSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents"
    L"\\rootautoupdate is enabled - OK";
inline constexpr wchar_t kComponentDisabled[] =
    L"\r\nError: SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup\\OC Manager\\Subcomponents"
    L"\\rootautoupdate [0x%08x] disables certificate auto update";
inline constexpr wchar_t kComponentHint[] =
    L"\r\n Try to enable 'Update Root Certificates' component in\r\n"
    L"\t Control Panel > Add Or Remove Programs > Add/Remove Windows Components'";
inline constexpr wchar_t kPolicyKeyMissing[] =
    L"\r\nInfo: Key SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot does not exists. - OK";
inline constexpr wchar_t kPolicyValueMissing[] =
    L"\r\nSOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot\\DisableRootAutoUpdate "
    L"does not not exists - OK";
inline constexpr wchar_t kPolicyAllows[] =
    L"\r\nSOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot\\DisableRootAutoUpdate "
    L"does not disables certificate auto update - OK";
inline constexpr wchar_t kPolicyDisables[] =
    L"\r\nError: SOFTWARE\\Policies\\Microsoft\\SystemCertificates\\AuthRoot\\DisableRootAutoUpdate "
    L"[0x%08x] disables certificate auto update";

// Proxy settings
inline constexpr wchar_t kProxyTitle[] = L"\r\n\r\nProxy detection:";
inline constexpr wchar_t kProxyOpenError[] = L"\r\nError: Cannot open key %s [gle:0x%08x]";
inline constexpr wchar_t kProxyEnabled[] = L"\r\nWarning: %s%s\r\n           @ProxyEnable=%d";
inline constexpr wchar_t kProxyPerUser[] = L"\r\nInfo: %s%s\r\n           @ProxySettingsPerUser=%d%s";
inline constexpr wchar_t kProxyAdministered[] = L" (Proxy settings are managed by system administrator.)";
inline constexpr wchar_t kProxyInfoLabel[] = L"Info   : ";
inline constexpr wchar_t kProxyServerContinued[] = L"\r\n           @ProxyServer=\"%s\"";
inline constexpr wchar_t kProxyServerFirst[] = L"\r\n%s%s%s\r\n           @ProxyServer=\"%s\"";
inline constexpr wchar_t kProxyOverrideContinued[] = L"\r\n           @ProxyOverride=\"%s\"";
inline constexpr wchar_t kProxyOverrideFirst[] = L"\r\n%s%s%s\r\n           @ProxyOverride=\"%s\"";
inline constexpr wchar_t kMachineRootPrefix[] = L"HKLM\\";
inline constexpr wchar_t kUsersRootPrefix[] = L"HKU\\";
inline constexpr wchar_t kCurrentUserRootPrefix[] = L"HKCU\\";
inline constexpr wchar_t kLocalSystemSettingsKey[] =
    L"S-1-5-18\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Hosts file
inline constexpr wchar_t kHostsTitle[] = L"\r\n\r\n%%SystemRoot%%\\System32\\drivers\\etc\\hosts test:";
inline constexpr wchar_t kHostsExpandError[] =
    L"\r\nerror: Cannot expand path '%%SystemRoot%%\\System32\\drivers\\etc\\hosts'\r\n";
inline constexpr wchar_t kHostsOpenError[] = L"\r\nerror: Cannot open file '%s'\r\n";
inline constexpr wchar_t kHostsEmpty[] = L"\r\nwarning: Empty file '%s'\r\n";
inline constexpr wchar_t kHostsOutOfMemory[] = L"\r\nerror: Out of memory\r\n";
inline constexpr wchar_t kHostsReadFailed[] = L"\r\nCannot read from file (gle: 0x%08X)";
inline constexpr wchar_t kHostsShortRead[] = L"\r\nCannot read all data from file, requested %d bytes, read %d bytes.";
inline constexpr wchar_t kHostsReadError[] = L"\r\nerror: Cannot read data from file '%s'\r\n";
inline constexpr wchar_t kHostsServiceHostFound[] = L"\r\nerror: %S in hosts detected!\r\n";
inline constexpr wchar_t kHostsDomainFound[] = L"\r\nwarning: %S in hosts detected!\r\n";
inline constexpr wchar_t kHostsRule[] = L"\r\n==================\r\n";
inline constexpr wchar_t kHostsContents[] = L"%S";
inline constexpr wchar_t kHostsClosingRule[] = L"\r\n==================";

// Name resolution
inline constexpr wchar_t kDnsTitle[] = L"\r\n\r\nGetAddrInfoW response test:";
inline constexpr wchar_t kWsaStartupFailed[] = L"\r\nerror: WSAStartup failed\r\n";
inline constexpr wchar_t kGetAddrInfoFailed[] = L"\r\nerror: GetAddrInfoW failed with code %d (0x%08x)\r\n";
inline constexpr wchar_t kAddressToStringFailed[] = L"\r\nerror: WSAAddressToString failed with %u\r\n";
inline constexpr wchar_t kAddressRecord[] = L"\r\n% 3d: Flags: 0x%x, Family: ";
inline constexpr wchar_t kUnspecified[] = L"Unspecified";
inline constexpr wchar_t kOtherValue[] = L"Other %ld";
inline constexpr wchar_t kFamilyIpv4[] = L"AF_INET (IPv4)";
inline constexpr wchar_t kIpv4Address[] = L" IPv4 address %ws";
inline constexpr wchar_t kFamilyIpv6[] = L"AF_INET6 (IPv6) ";
inline constexpr wchar_t kIpv6Address[] = L" IPv6 address %ws";
inline constexpr wchar_t kSocketTypeLabel[] = L", Socket type: ";
inline constexpr wchar_t kProtocolLabel[] = L", Protocol: ";
inline constexpr wchar_t kSockaddrLength[] = L", Length of sockaddr: %d";
inline constexpr wchar_t kCanonicalName[] = L", Canonical name: %s";
inline constexpr wchar_t kUnknownAddress[] =
    L"\r\nWarning: did not find known ip address of %s\r\n\tThere were expected one of following ip:";
inline constexpr wchar_t kKnownAddress[] = L"%s%d.%d.%d.%d";

// Verify chain test (its decoding tables are in certs/chain_codes.h)
inline constexpr wchar_t kChainTitle[] = L"\r\n\r\nVerify chain test: [%s]";
inline constexpr wchar_t kCurrentUserScope[] = L"CurrentUser";
inline constexpr wchar_t kLocalMachineScope[] = L"LocalMachine";
inline constexpr wchar_t kProblemDetected[] =
    L"\r\nProblem detected!\r\n\tDiagnostic info for developers:\r\n\tLastApiError: 0x%08x";
inline constexpr wchar_t kFaultingFunction[] = L"\r\n\tFaulting function: %d";
inline constexpr wchar_t kFaultingFunctionName[] = L" ( %s )";
inline constexpr wchar_t kChainTrust[] = L"\r\n\tchainTrust: 0x%08x";
inline constexpr wchar_t kNoTrustError[] = L" = No error found for this certificate or chain.";
inline constexpr wchar_t kDecodedRow[] = L"\r\n\t\t0x%08x: %s";
inline constexpr wchar_t kChainPolicyStatus[] = L"\r\n\tchainPolicyStatus: 0x%08x";
