// Base for classes that own a kernel handle or heap items: copying them would close or free the
// same thing twice.
#pragma once

namespace kycplib {

class noncopyable {
public:
    noncopyable(const noncopyable&) = delete;
    noncopyable& operator=(const noncopyable&) = delete;

protected:
    noncopyable() = default;
    // Not virtual: the base is empty and must not add a table of its own to derived classes.
    ~noncopyable() = default;
};

}  // namespace kycplib
