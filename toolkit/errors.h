// The toolkit's own error: raised for unreadable or unwritable files and for
// texts that are not integers. Its message is UTF-8 and is shown as it stands.
#pragma once

#include <stdexcept>
#include <string>

namespace morvane {

class ToolkitError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace morvane
