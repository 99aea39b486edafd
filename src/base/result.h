// The result codes every step returns; the last is the exit status.
#pragma once

namespace quillet {

/// The result of every step; the one that ends the run is the process's exit status.
enum ResultCode : int {
  RC_OK = 0,
  RC_HELP = 1,           // help shown: no arguments, or "-help"
  RC_NO_INPUT = 2,       // no "-fi"
  RC_IN_PLACE = 3,       // no "-fo": the input is rewritten in place; never an exit status
  RC_SAME_FILE = 4,      // the output would overwrite the input
  RC_NO_SUCH_FILE = 5,   // the input cannot be opened
  RC_CANNOT_CREATE = 6,  // the output cannot be created
  RC_RENAME_FAILED = 7,  // a rename of the in-place swap failed
  RC_DELETE_DENIED = 8,  // the old backup cannot be deleted: access denied
  RC_BAD_ARGUMENTS = 9,  // an option that takes a value came last, or options that cannot meet
  RC_IO_ERROR = 10,      // reading the input or writing the output failed
  RC_WOULD_CHANGE = 11,  // "-check": at least one line would change
  RC_BAD_SETTINGS = 12,  // a settings file holds something it may not
};

}  // namespace quillet
