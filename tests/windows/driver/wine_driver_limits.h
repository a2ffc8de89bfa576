#pragma once
// What wine lets the stand-in driver show, in one place for the console
// tables and the window scenarios that run through it.

namespace kavlen::test {

// wine 8.0 fails an open of "<interface path>\PIPE01" (or PIPE00) with error
// 2 before any driver sees it, so through the stand-in driver every
// download and read-back stops at its pipe's open, with the program's own
// message. True on a wine that passes such names on to the driver: the
// rows then expect what they do against the simulator's own folder.
inline constexpr bool kDriverOpensPipes = false;

}  // namespace kavlen::test
