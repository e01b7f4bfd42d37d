#pragma once
#include "Status.h"

#include <gtest/gtest.h>

namespace corvane::test {

// A Status as an assertion, carrying its reason into the failure message:
// ASSERT_TRUE(test::Ok(db.exec(sql))).
inline ::testing::AssertionResult Ok(const Status &s)
{
    if (s)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << s.reason().toStdString();
}

template <class T>
::testing::AssertionResult Ok(const Checked<T> &c)
{
    return Ok(c.status());
}

} // namespace corvane::test
