// Named mutexes with Windows semantics: a name is shared by every process of
// the user; creating tells whether the name already existed; ownership is
// granted at creation only to the creator of a new name.
#pragma once

#include <memory>
#include <string>

namespace qarx {

// One open handle to a named mutex. Destroying it closes the handle.
class NamedMutex {
 public:
  virtual ~NamedMutex() = default;
  virtual bool Wait() = 0;     // blocks without time limit; true when owned
  virtual bool Release() = 0;  // false when not owned by this thread
};

class MutexPort {
 public:
  virtual ~MutexPort() = default;
  // Returns null on failure. alreadyExisted is set when another handle to the
  // name was open (ERROR_ALREADY_EXISTS); ownership is then not taken.
  virtual std::unique_ptr<NamedMutex> Create(const std::u16string& name, bool initialOwner,
                                             bool& alreadyExisted) = 0;
};

}  // namespace qarx
