// A scriptable application library for the engine stand-in's tests. Its entrypoint arguments
// are commands, run in order:
//   send:CHANNEL:TEXT  sends TEXT on CHANNEL and waits; records "CHANNEL=answered:REPLY",
//                      "CHANNEL=empty" (an answer without bytes) or "CHANNEL=none" (no answer)
//   send-without-channel  sends with a null channel name; records "no channel=RESULT"
//   post:CHANNEL:TEXT  posts TEXT on CHANNEL without waiting; records "post CHANNEL=refused" when
//                      no ticket came
//   post-without-channel  posts with a null channel name; records "post no channel=TICKET"
//   await:I            awaits the I-th posted ticket (from 0); records "await I=answered:REPLY",
//                      "await I=empty" or "await I=none"
//   await-unknown      awaits a ticket never handed out; records "await unknown=RESULT"
//   await-without-slots:I  awaits the I-th ticket without reply slots; records
//                      "await I without slots=RESULT"
//   services           records "services=STRUCT_SIZE" and which posting functions it offers
//   frame              tells the engine a frame was drawn
//   present:W:H:STRIDE:RRGGBB  hands the engine a W x H picture whose left half is RRGGBB (hex)
//                      and right half its complement, rows STRIDE bytes apart; records
//                      "present W:H:STRIDE=RESULT". A size too large to allocate passes a small
//                      buffer: the engine must refuse it unread.
//   present-null       hands over null pixels; records "present null=RESULT"
//   present-without-engine  hands over a picture with a null engine; records
//                      "present without engine=RESULT"
//   status:N           returns N when the commands are done (0 otherwise)
// It first records "args=N" with its argument count.
#ifndef HALVEX_TESTS_ENGINE_HOST_TEST_APPLICATION_H_
#define HALVEX_TESTS_ENGINE_HOST_TEST_APPLICATION_H_

#include <string>
#include <vector>

#include "platform/engine/halvex_app.h"

namespace halvex::testing {

HALVEX_APP_EXPORT std::vector<std::string> TestApplicationOutcomes();
HALVEX_APP_EXPORT void ResetTestApplication();

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_ENGINE_HOST_TEST_APPLICATION_H_
