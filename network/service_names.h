#pragma once

// The vendor's online service as this build knows it. The wide and 8-bit
// forms of the host must spell the same name; the host is a subdomain of the
// primary domain, and the regional domain does not contain the primary one.
constexpr wchar_t kServiceHostW[] = L"service.zemlo.example";
constexpr char kServiceHostA[] = "service.zemlo.example";
constexpr char kPrimaryDomainA[] = "zemlo.example";
constexpr char kRegionalDomainA[] = "zemlo-eu.example";
