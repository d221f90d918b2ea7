// The one exception type of picture input and output. Its message always
// names the file and says what is wrong, ready to show a user as it stands.
#pragma once

#include <stdexcept>
#include <string>

namespace quadfind {

class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace quadfind
