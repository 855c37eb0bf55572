// DataSender against a real service on 127.0.0.1: what counts as accepted, what goes on the wire,
// time-outs and cancellation.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "report_service.h"
#include "stats/datasender.h"

namespace tonvera {
namespace {

using namespace std::chrono_literals;
using test::ReportService;

class SenderTest : public ::testing::Test {
 protected:
  void SetUp() override { DataSender::setTimeout(2s); }
  void TearDown() override { DataSender::setTimeout(kReportSendTimeout); }
};

// Only 202 is accepted. The body goes out as it is, as form text: characters that form encoding or
// JSON escaping would change arrive untouched.
TEST_F(SenderTest, OnlyStatus202IsAcceptedAndTheBodyGoesOutAsRawUtf8FormText) {
  const std::string body =
      "api=Service.End&param={\"app\":\"a b&c=d%20+\",\"name\":\"私人电台\",\"q\":\"\\\"\"}";
  ReportService service;
  for (const int status : {202, 200, 204, 404, 500}) {
    service.setStatus(status);
    DataSender sender(body, service.url() + "/stats");
    sender.start();
    EXPECT_TRUE(sender.isFinished());
    EXPECT_EQ(sender.isError(), status != 202) << "status " << status;
  }
  EXPECT_EQ(service.bodies(), std::vector<std::string>(5, body));
  EXPECT_EQ(service.contentTypes()[0], "application/x-www-form-urlencoded");
  // No service at all is an error too.
  DataSender sender("api=Test", "http://127.0.0.1:1/stats");
  sender.start();
  EXPECT_TRUE(sender.isError());
}

TEST_F(SenderTest, SlowAnswerPastTheTimeoutIsAnError) {
  ReportService service;
  service.hold("api=");
  DataSender::setTimeout(300ms);  // the held reply would come (accepted) after 20 s
  DataSender sender("api=Test", service.url() + "/stats");
  sender.start();
  EXPECT_TRUE(sender.isError());
}

TEST_F(SenderTest, CancelBeforeStartOrInFlightEndsTheSendAsAnError) {
  ReportService service;
  DataSender early("api=Test", service.url() + "/stats");
  int notices = 0;
  early.setFinishedObserver([&](DataSender& finished) {
    ++notices;
    EXPECT_EQ(&finished, &early);
    EXPECT_TRUE(finished.isFinished());
  });
  early.cancel();
  early.start();
  EXPECT_EQ(notices, 1);
  EXPECT_TRUE(early.isError());
  EXPECT_EQ(service.count(), 0u);

  // Without the cancel the send would wait for the held reply (accepted after 20 s): no time-out
  // ends it first.
  service.hold("api=");
  DataSender::setTimeout(std::chrono::hours(1));
  auto sender = std::make_shared<DataSender>("api=Test", service.url() + "/stats");
  std::thread worker([&] { sender->start(); });
  EXPECT_TRUE(service.waitForHeld(1, 5s));
  sender->cancel();
  worker.join();
  EXPECT_TRUE(sender->isError());
  service.release();
}

}  // namespace
}  // namespace tonvera
