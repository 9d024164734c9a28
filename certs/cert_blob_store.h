#pragma once

#include <windows.h>
#include <wincrypt.h>

// Adds every certificate of a CertBlob (bytes, totalLength) to `store`, each
// as a new entry, in record order. The first record is always read; after each
// add the walk stops once the records added so far reach or pass totalLength.
//
// firstCertOut, when given and still null, receives the context of the first
// certificate added; the caller frees it, also when the result is false.
// On false the failing add's GetLastError value is left for the caller, who
// must read it before making any other call.
bool AddCertBlobToStore(HCERTSTORE store, const BYTE* bytes, DWORD totalLength, PCCERT_CONTEXT* firstCertOut);
