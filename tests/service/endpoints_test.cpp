// The endpoint catalogue: base URL from the environment, and the private channel's form body.
#include <gtest/gtest.h>

#include <cstdlib>

#include "service/endpoints.h"

namespace tonvera {
namespace {

TEST(Endpoints, BaseUrlFromEnvironmentElseCompiledIn) {
  ::unsetenv("TONVERA_SERVICE_URL");
  EXPECT_EQ(serviceBaseURL(), "http://127.0.0.1:7650");
  ::setenv("TONVERA_SERVICE_URL", "", 1);
  EXPECT_EQ(serviceBaseURL(), "http://127.0.0.1:7650");
  ::setenv("TONVERA_SERVICE_URL", "http://example.test:81//", 1);
  EXPECT_EQ(serviceBaseURL(), "http://example.test:81");
  ::setenv("TONVERA_SERVICE_URL", "http://10.0.0.2:7650", 1);
  EXPECT_EQ(serviceBaseURL(), "http://10.0.0.2:7650");
}

TEST(Endpoints, PrivateChannelBody) {
  EXPECT_EQ(privateChannelBody({}, {}), "similar=1&id=");
  EXPECT_EQ(privateChannelBody({"t1", "t2"}, {}), "similar=1&id=t1,t2,");
  EXPECT_EQ(privateChannelBody({"t1"}, {"a1", "a2"}), "similar=1&id=t1,a1,a2,");
  EXPECT_EQ(privateChannelBody({}, {"a1"}), "similar=1&id=a1,");
}

}  // namespace
}  // namespace tonvera
