#pragma once

// The release this reader was built as: what git describe says, as in the
// diagnostic's version resource ("1.2.3", "1.2.3-4-gabcdef0", ...). Every
// output carries it, so a judged log says which reader judged it.

namespace triage {

const char* ReaderVersion();

}  // namespace triage
