// Named mutexes between processes of one user, with Windows semantics, built
// on open file description locks. The convention, which other programs
// follow to meet this one:
//
//   Folder   $XDG_RUNTIME_DIR/qarx-mutex when XDG_RUNTIME_DIR is set and not
//            empty, else ${TMPDIR:-/tmp}/qarx-mutex-<uid>. It must be a real
//            directory (no symlink) owned by the user with mode 0700;
//            otherwise no mutex is created.
//   File     one per name: the name as UTF-8, each byte other than A-Z a-z
//            0-9 space ! - _ . written as %XX (upper-case hex); a leading '.'
//            is written %2E. Files are never removed; a file nobody has
//            locked is a name that does not exist.
//   Handle   an open() of the file (O_CLOEXEC) holding a shared
//            F_OFD_SETLK read lock on byte 0 for as long as it is open.
//   Exists   a name exists while anyone holds byte 0: creating tries an
//            exclusive lock on byte 0 first; if that fails the name existed,
//            if it succeeds the creator takes byte 1 when it asks for
//            ownership and then turns byte 0 into a shared lock.
//   Owner    whoever holds an exclusive lock on byte 1 (wait = F_OFD_SETLKW).
//
// The kernel drops every lock when the last descriptor of a description
// closes, so all of it vanishes with the process, kill -9 included.
#pragma once

#include <string>
#include <string_view>

namespace qarx::linux_port {

std::string EncodeMutexName(std::u16string_view name);
// False when file is not an encoding made by EncodeMutexName.
bool DecodeMutexName(std::string_view file, std::u16string& name);

// The folder of this user's mutex files, created when missing. False with a
// reason when it cannot be used.
bool MutexFolder(std::string& folder, std::string& error);

}  // namespace qarx::linux_port
