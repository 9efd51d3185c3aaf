#include <gtest/gtest.h>

#include "platform/appevents/codes.hpp"
#include "platform/appevents/event_receiver.hpp"
#include "platform/appevents/send_event.hpp"
#include "platform/appevents/wire_form.hpp"
#include "platform/base/os_status.hpp"
#include "platform/msgport/named_socket.hpp"
#include "tests/support/isolated_environment.hpp"

namespace {

namespace ae = platform::appevents;
using platform::four_char_code;
using testing_support::IsolatedEnvironment;

ae::Event event_for(platform::FourCharCode signature, std::int32_t value = 7) {
    ae::Event event(
        four_char_code("BMon"), four_char_code("x772"),
        ae::Descriptor::create(ae::type_appl_signature, ae::host_bytes(signature)).value());
    event.put_parameter(ae::key_direct_object,
                        ae::Descriptor::create(ae::type_sint32, ae::host_bytes(value)).value());
    return event;
}

ae::EventReceiver claim_ok(platform::FourCharCode signature) {
    auto claimed = ae::EventReceiver::claim(signature);
    if (!claimed) {
        ADD_FAILURE() << claimed.error().message;
        std::abort();
    }
    return std::move(claimed).value();
}

std::optional<ae::Event> next_event(ae::EventReceiver& receiver) {
    auto received = receiver.receive();
    EXPECT_TRUE(received) << received.error().message;
    return received ? *received : std::nullopt;
}

TEST(EventDelivery, TheApplicationOfTheSignatureGetsTheEventsInOrder) {
    IsolatedEnvironment env;
    auto receiver = claim_ok(four_char_code("QH06"));
    EXPECT_TRUE(std::filesystem::exists(env.runtime_dir() / "appevents/QH06"));
    auto other = claim_ok(four_char_code("OTHR"));

    ASSERT_TRUE(ae::send_event(event_for(four_char_code("QH06"), 1)));
    ASSERT_TRUE(ae::send_event_to(four_char_code("QH06"), event_for(four_char_code("OTHR"), 2)));
    EXPECT_EQ(next_event(receiver), event_for(four_char_code("QH06"), 1));
    EXPECT_EQ(next_event(receiver), event_for(four_char_code("OTHR"), 2)) << "handed on unchanged";
    EXPECT_EQ(next_event(receiver), std::nullopt);
    EXPECT_EQ(next_event(other), std::nullopt);
}

TEST(EventDelivery, NobodyServingIsProcNotFound) {
    IsolatedEnvironment env;
    auto sent = ae::send_event(event_for(four_char_code("QH06")));
    ASSERT_FALSE(sent);
    EXPECT_EQ(sent.error().status, -600);

    // Served once, then let go: the socket is gone with its server.
    { auto receiver = claim_ok(four_char_code("QH06")); }
    sent = ae::send_event(event_for(four_char_code("QH06")));
    ASSERT_FALSE(sent);
    EXPECT_EQ(sent.error().status, -600);

    // Targets that name no application anyone could serve.
    const ae::Event not_a_signature(four_char_code("BMon"), 0, ae::Descriptor());
    EXPECT_EQ(ae::send_event(not_a_signature).error().status, -600);
    EXPECT_EQ(ae::send_event(event_for(four_char_code("a/bc"))).error().status, -600);
}

TEST(EventDelivery, ASecondApplicationFindsTheSignatureTaken) {
    IsolatedEnvironment env;
    auto first = claim_ok(four_char_code("QH06"));
    auto second = ae::EventReceiver::claim(four_char_code("QH06"));
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().status, platform::os_status::portNameExistsErr);
}

TEST(EventDelivery, DatagramsThatAreNoEventAreReportedAndServingGoesOn) {
    IsolatedEnvironment env;
    auto receiver = claim_ok(four_char_code("QH06"));
    const std::vector<std::byte> junk(10, std::byte{'x'});
    const std::vector<std::byte> oversized(ae::max_event_size + 1, std::byte{0});
    ASSERT_TRUE(platform::msgport::send_to_name("appevents", "QH06", junk));
    ASSERT_TRUE(platform::msgport::send_to_name("appevents", "QH06", oversized));
    ASSERT_TRUE(ae::send_event(event_for(four_char_code("QH06"))));

    auto first = receiver.receive();
    ASSERT_FALSE(first);
    EXPECT_NE(first.error().message.find("malformed"), std::string::npos) << first.error().message;
    auto second = receiver.receive();
    ASSERT_FALSE(second);
    EXPECT_NE(second.error().message.find("65537 bytes"), std::string::npos)
        << second.error().message;
    EXPECT_EQ(next_event(receiver), event_for(four_char_code("QH06")));
}

TEST(EventDelivery, EventsLargerThanADatagramMayBeAreNotSent) {
    IsolatedEnvironment env;
    auto receiver = claim_ok(four_char_code("QH06"));
    auto event = event_for(four_char_code("QH06"));
    const std::vector<std::byte> bulk(ae::max_event_size, std::byte{1});
    event.put_parameter(four_char_code("bulk"),
                        ae::Descriptor::create(four_char_code("data"), bulk).value());
    EXPECT_FALSE(ae::send_event(event));
    EXPECT_EQ(next_event(receiver), std::nullopt);
}

}  // namespace

TEST(EventDelivery, AnApplicationThatStopsReadingCannotHoldTheSenderUp) {
    IsolatedEnvironment env;
    auto receiver = claim_ok(four_char_code("QH06"));  // serves, but never reads
    // The kernel queues a few datagrams per socket; past that the sender would wait for ever.
    platform::Result<void> sent;
    int count = 0;
    const auto begun = std::chrono::steady_clock::now();
    while (count < 64 && (sent = ae::send_event(event_for(four_char_code("QH06"), count)))) ++count;
    const auto waited = std::chrono::steady_clock::now() - begun;
    ASSERT_FALSE(sent) << count << " events queued without a wait";
    EXPECT_EQ(sent.error().status, -1712);
    EXPECT_GE(waited, ae::event_send_wait_limit);
    EXPECT_EQ(next_event(receiver), event_for(four_char_code("QH06"), 0)) << "the queued ones stay";
}
