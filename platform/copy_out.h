// Copying a text into a caller's bounded buffer. Private to platform/.
#pragma once

#include <QString>

#include <cstddef>

namespace ui_internal {

// Copy text into a caller's buffer; UIE_TOO_LONG (and an empty text) when it does not fit.
int CopyOut(const QString &text, char *out, size_t size);

} // namespace ui_internal
