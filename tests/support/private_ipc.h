// Tests of the card's daemon queues run in an IPC namespace of their own, so the fixed keys 1
// to 22 meet no other test and nothing else on the machine. A test that leaves a queue behind
// fails; its queues are removed all the same.
#pragma once

#include <gtest/gtest.h>

namespace kmb::test {

// The queues that exist in this process's IPC namespace.
int queues_in_namespace();
// Removes every queue of the namespace; how many there were.
int remove_all_queues();

class PrivateIpc : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    bool private_ = false;
};

} // namespace kmb::test
