// The endpoint catalogue: the base URL from the environment. (The URLs and the private channel's
// form body are checked as the station receives them.)
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

}  // namespace
}  // namespace tonvera
