#include "FormFields.h"

namespace orvane::form {

const char *controlName(Control control)
{
    const auto index = static_cast<std::size_t>(control);
    return index < controlNames.size() ? controlNames[index] : "";
}

} // namespace orvane::form
