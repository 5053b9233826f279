#include "run/linkschedule.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Everything the head can report now, as "file" or "url code", popping it.
std::vector<std::string> Drain(CLinkSchedule& schedule) {
    std::vector<std::string> reported;
    while (schedule.HeadReady()) {
        const CLinkSchedule::Entry head = schedule.TakeFront();
        reported.push_back(head.isFile ? head.file
                                       : head.url + " " + std::to_string(head.verdict->code));
    }
    return reported;
}

std::vector<std::string> StartAll(CLinkSchedule& schedule) {
    std::vector<std::string> started;
    while (const auto next = schedule.NextToStart()) {
        started.push_back(next->url);
    }
    return started;
}

TEST(LinkSchedule, VerdictsAreReportedInScanOrderWhateverOrderTheyCome) {
    CLinkSchedule schedule(8, 8);
    schedule.AddFile("a.htm", true, 2);
    schedule.AddLink("http://h1/1", "one", "h1", 1);
    schedule.AddLink("http://h2/2", "two", "h2", 1);
    schedule.AddFile("b.htm", true, 1);
    schedule.AddLink("http://h3/3", "three", "h3", 1);
    EXPECT_EQ(StartAll(schedule),
              (std::vector<std::string>{"http://h1/1", "http://h2/2", "http://h3/3"}));
    EXPECT_EQ(Drain(schedule), (std::vector<std::string>{"a.htm"}));
    schedule.Decide("http://h3/3", {404, true});
    schedule.Decide("http://h2/2", {10004, false});
    EXPECT_TRUE(Drain(schedule).empty()) << "the first link still waits";
    schedule.Decide("http://h1/1", {200, true});
    EXPECT_EQ(Drain(schedule), (std::vector<std::string>{"http://h1/1 200", "http://h2/2 10004",
                                                         "b.htm", "http://h3/3 404"}));
    EXPECT_TRUE(schedule.Empty());
    EXPECT_EQ(schedule.QueuedLinks(), 0u);
}

TEST(LinkSchedule, EachUrlIsProbedOnceAndItsVerdictFillsEveryOccurrence) {
    CLinkSchedule schedule(8, 8);
    schedule.AddFile("a.htm", true, 3);
    schedule.AddLink("http://h/x", "x1", "h", 1);
    schedule.AddLink("http://h/y", "y", "h", 1);
    schedule.AddLink("http://h/x", "x2", "h", 1);
    EXPECT_EQ(schedule.Waiting(), 3);
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://h/x", "http://h/y"}));
    EXPECT_EQ(schedule.Waiting(), 0) << "the second x waits for the first one's probe";
    schedule.Decide("http://h/x", {500, true});
    schedule.AddFile("b.htm", true, 1);
    schedule.AddLink("http://h/x", "x3", "h", 1);
    EXPECT_EQ(schedule.Waiting(), 0) << "a URL found after its verdict needs no probe";
    EXPECT_FALSE(schedule.NextToStart());
    schedule.Decide("http://h/y", {200, true});
    const std::vector<std::string> reported = Drain(schedule);
    EXPECT_EQ(reported, (std::vector<std::string>{"a.htm", "http://h/x 500", "http://h/y 200",
                                                  "http://h/x 500", "b.htm", "http://h/x 500"}));
}

TEST(LinkSchedule, NoMoreThanJobsProbesAndPerHostToOneHost) {
    CLinkSchedule schedule(3, 2);
    schedule.AddFile("a.htm", true, 6);
    for (const char* url :
         {"http://A/1", "http://a/2", "http://a/3", "http://b/1", "http://b/2", "http://c/1"}) {
        const std::string host = std::string(url).substr(7, 1);
        schedule.AddLink(url, "", host, 1);
    }
    EXPECT_EQ(StartAll(schedule),
              (std::vector<std::string>{"http://A/1", "http://a/2", "http://b/1"}))
        << "a third link to host a waits, the host's name in any case";
    EXPECT_EQ(schedule.InFlight(), 3);
    EXPECT_EQ(schedule.InFlightTo("a"), 2);
    schedule.Decide("http://b/1", {200, true});
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://b/2"}));
    schedule.Decide("http://a/2", {200, true});
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://a/3"}))
        << "the earliest waiting link goes first once its host has room";
    EXPECT_EQ(schedule.InFlightTo("A"), 2);
    schedule.Decide("http://A/1", {200, true});
    schedule.Decide("http://a/3", {200, true});
    schedule.Decide("http://b/2", {200, true});
    EXPECT_EQ(schedule.InFlightTo("a"), 0);
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://c/1"}));
}

TEST(LinkSchedule, AHostWhoseEarliestLinkWasAlreadyProbedYieldsToAnEarlierLinkElsewhere) {
    CLinkSchedule schedule(8, 1);
    schedule.AddFile("a.htm", true, 5);
    schedule.AddLink("http://h/x", "", "h", 1);
    schedule.AddLink("http://h/x", "", "h", 1);
    schedule.AddLink("http://g/a", "", "g", 1);
    schedule.AddLink("http://h/y", "", "h", 1);
    schedule.AddLink("http://g/b", "", "g", 1);
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://h/x", "http://g/a"}));
    schedule.Decide("http://g/a", {200, true});
    schedule.Decide("http://h/x", {200, true});
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://h/y", "http://g/b"}))
        << "the repeated x is not probed again, and h's next link comes before g's";
    schedule.Decide("http://g/b", {404, true});
    schedule.Decide("http://h/y", {500, true});
    EXPECT_EQ(Drain(schedule),
              (std::vector<std::string>{"a.htm", "http://h/x 200", "http://h/x 200",
                                        "http://g/a 200", "http://h/y 500", "http://g/b 404"}));
}

TEST(LinkSchedule, AVerdictReachesTheLinksOfItsUrlAfterTheHeadHasMovedOn) {
    CLinkSchedule schedule(1, 1);
    schedule.AddFile("a.htm", true, 2);
    schedule.AddLink("http://h/1", "", "h", 1);
    schedule.AddLink("http://h/2", "", "h", 1);
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://h/1"}));
    schedule.Decide("http://h/1", {200, true});
    EXPECT_EQ(Drain(schedule), (std::vector<std::string>{"a.htm", "http://h/1 200"}));
    schedule.AddFile("b.htm", true, 2);
    schedule.AddLink("http://h/2", "", "h", 1);
    schedule.AddLink("http://h/3", "", "h", 1);
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://h/2"}));
    schedule.Decide("http://h/2", {404, true});
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://h/3"}));
    schedule.Decide("http://h/3", {200, true});
    EXPECT_EQ(Drain(schedule), (std::vector<std::string>{"http://h/2 404", "b.htm",
                                                         "http://h/2 404", "http://h/3 200"}));
}

TEST(LinkSchedule, ALinkThatCouldNotStartWaitsAgainInItsPlace) {
    CLinkSchedule schedule(8, 2);
    schedule.AddFile("a.htm", true, 4);
    schedule.AddLink("http://h/1", "", "h", 1);
    schedule.AddLink("http://h/2", "", "h", 1);
    schedule.AddLink("http://h/1", "", "h", 1);
    schedule.AddLink("http://h/3", "", "h", 1);
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://h/1", "http://h/2"}));
    schedule.Requeue("http://h/1");
    EXPECT_EQ(schedule.InFlight(), 1);
    EXPECT_EQ(schedule.InFlightTo("h"), 1);
    EXPECT_EQ(schedule.Waiting(), 3) << "both links of h/1 wait again, and h/3";
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://h/1"}))
        << "the requeued link goes before h/3, and only once";
    schedule.Decide("http://h/2", {404, true});
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://h/3"}));
    schedule.Decide("http://h/1", {200, true});
    schedule.Decide("http://h/3", {500, true});
    EXPECT_EQ(Drain(schedule),
              (std::vector<std::string>{"a.htm", "http://h/1 200", "http://h/2 404",
                                        "http://h/1 200", "http://h/3 500"}));
}

TEST(LinkSchedule, AnUnreadableFileAndAFileWithoutLinksAreReportedInTheirPlace) {
    CLinkSchedule schedule(2, 2);
    schedule.AddFile("a.htm", true, 1);
    schedule.AddLink("http://h/1", "", "h", 1);
    schedule.AddFile("empty.htm", true, 0);
    schedule.AddFile("gone.htm", false, 0);
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://h/1"}));
    EXPECT_EQ(Drain(schedule), (std::vector<std::string>{"a.htm"}));
    schedule.Decide("http://h/1", {10002, false});
    const CLinkSchedule::Entry& link = schedule.Front();
    EXPECT_EQ(link.verdict, (CVerdict{10002, false}));
    EXPECT_EQ(Drain(schedule),
              (std::vector<std::string>{"http://h/1 10002", "empty.htm", "gone.htm"}));
}

TEST(LinkSchedule, LimitsBelowOneCountAsOne) {
    CLinkSchedule schedule(0, -3);
    schedule.AddFile("a.htm", true, 2);
    schedule.AddLink("http://h/1", "", "h", 1);
    schedule.AddLink("http://g/1", "", "g", 1);
    EXPECT_EQ(StartAll(schedule), (std::vector<std::string>{"http://h/1"}));
}

}  // namespace
