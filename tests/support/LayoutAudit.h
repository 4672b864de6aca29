#pragma once

#include "model/uDocument.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The layout audit of a record: one check for every record class laid out with
// TLayout (ports, channels, devices, protocol blocks ...).
//
// LayoutProblems(record, expectedSize) finds, one line each:
//   - a Size other than expectedSize;
//   - a child (field or nested list) whose bytes do not lie inside the record;
//   - two children whose byte ranges overlap, unless both are bit fields of one
//     container (same offset, same container size);
//   - bit fields of one container whose bits overlap, or bits beyond the container;
//   - a key the layout gave twice ignoring case (the list kept the first node and
//     refused the later one, see TFieldLst::RefusedKeys).
// Nested lists are audited the same way against their own Size. Bytes covered by no
// child (reserved bytes, overlaid areas) are no problem. Children of Size 0 (proxy
// fields) have no bytes to place; instead a proxy's storage must belong to the same
// document as the record, and a string proxy's text index must lie below the
// storage's Count.
//
// OverlayProblems(overlay, areaOffset, areaSize) finds the bytes of an overlaid record
// (a logical channel kind, a protocol block) and of every field in it that lie outside
// its area: areaSize bytes from the absolute block offset areaOffset.
//
// Positions are absolute block offsets (NodeOffset), so a record without a parent is
// audited where it lies. Typical use:
//   EXPECT_TRUE(testsupport::AuditLayout(*port, 8));
//   EXPECT_TRUE(testsupport::FitsArea(*kind, entry->NodeOffset() + 8, 8));
std::vector<std::string> LayoutProblems(const TFieldLst& record, int32_t expectedSize);
std::vector<std::string> OverlayProblems(const TFieldLst& overlay, int64_t areaOffset, int32_t areaSize);

// The same as gtest assertions, naming the record and listing every problem.
::testing::AssertionResult AuditLayout(const TFieldLst& record, int32_t expectedSize);
::testing::AssertionResult FitsArea(const TFieldLst& overlay, int64_t areaOffset, int32_t areaSize);

} // namespace testsupport
