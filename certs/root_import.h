#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "certs/cert_blobs.h"

// /fix: adds the embedded root certificate to the local machine's trusted
// root store, reporting through the run log. False when the store cannot be
// opened or an add fails.
bool ImportRootCertificate();
// The same import for another blob (which the fixed describing lines then do
// not describe): lets the add failure be reproduced with a malformed record.
bool ImportRootCertificateFrom(const CertBlob& rootBlob);
