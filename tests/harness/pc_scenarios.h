#pragma once

// Whole PCs seeded into the prefix: the scenarios of the report transcripts
// (tests/golden), which ./dev.sh run also shows. Failures are reported to
// GoogleTest, so callers check HasFatalFailure() afterwards.

// What a healthy Windows 10 PC without the product looks like: the usual keys,
// no proxy, no policy, a hosts file without the vendor's names, and a
// resolver that does not know the service host (the harness's default).
void SeedCleanPc();

// Everything that stands between the product and its service at once.
void SeedTroubledPc();

// The clean PC on which every section can pass: the service host resolves to
// kHealthyServiceAddress. Trusting the development root is the caller's part,
// since a trusted root has to outlive the seeding (ScopedTrustedRoot).
void SeedHealthyPc();
extern const char kHealthyServiceAddress[];
