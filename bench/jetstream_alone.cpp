#include "jetstream_alone.h"

#include <nats/nats.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "support/files.h"

namespace zeb::bench {

namespace {

// As many publishes on their way at once as the out bridge keeps.
constexpr int64_t kInFlight = 1024;
constexpr int64_t kWaitMs = 10000;
constexpr int kRecordBytes = 80;

int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string failed(const std::string& what, natsStatus status) {
  return "JetStream alone: " + what + ": " + natsStatus_GetText(status);
}

// Two connections to the server, a stream of their own, and a consumer of
// it; `error` says what could not be set up.
class Pair {
 public:
  explicit Pair(const std::string& url)
      : id_(test::unique_name("ref")), stream_("ZEBREF_" + id_), subject_("zebref." + id_) {
    natsOptions* options = nullptr;
    natsStatus status = natsOptions_Create(&options);
    if (status == NATS_OK) status = natsOptions_SetURL(options, url.c_str());
    // As the out bridge sends each publish at once.
    if (status == NATS_OK) status = natsOptions_SetSendAsap(options, true);
    if (status == NATS_OK) status = natsConnection_Connect(&publisher_, options);
    if (status == NATS_OK) status = natsOptions_SetSendAsap(options, false);
    if (status == NATS_OK) status = natsConnection_Connect(&consumer_, options);
    natsOptions_Destroy(options);
    jsOptions js_options;
    jsOptions_Init(&js_options);
    js_options.Wait = kWaitMs;
    js_options.PublishAsync.MaxPending = kInFlight;
    js_options.PublishAsync.StallWait = kWaitMs;
    if (status == NATS_OK) status = natsConnection_JetStream(&js_, publisher_, &js_options);
    if (status == NATS_OK) status = natsConnection_JetStream(&consumer_js_, consumer_, &js_options);
    if (status != NATS_OK) {
      error = failed("cannot connect", status);
      return;
    }
    const char* subjects[] = {subject_.c_str()};
    jsStreamConfig config;
    jsStreamConfig_Init(&config);
    config.Name = stream_.c_str();
    config.Subjects = subjects;
    config.SubjectsLen = 1;
    config.Storage = js_FileStorage;
    config.Duplicates = 600LL * 1000 * 1000 * 1000;
    jsStreamInfo* info = nullptr;
    status = js_AddStream(&info, js_, &config, nullptr, nullptr);
    jsStreamInfo_Destroy(info);
    if (status != NATS_OK) {
      error = failed("cannot create a stream", status);
      return;
    }
    jsSubOptions sub_options;
    jsSubOptions_Init(&sub_options);
    sub_options.Stream = stream_.c_str();
    sub_options.Config.DeliverPolicy = js_DeliverByStartSequence;
    sub_options.Config.OptStartSeq = 1;
    sub_options.Config.AckPolicy = js_AckNone;
    sub_options.Config.FlowControl = true;
    sub_options.Config.Heartbeat = 1000LL * 1000 * 1000;
    status = js_SubscribeSync(&subscription_, consumer_js_, subject_.c_str(), nullptr, &sub_options, nullptr);
    if (status != NATS_OK) error = failed("cannot subscribe", status);
  }

  ~Pair() {
    natsSubscription_Destroy(subscription_);
    if (js_ != nullptr) js_DeleteStream(js_, stream_.c_str(), nullptr, nullptr);
    jsCtx_Destroy(js_);
    jsCtx_Destroy(consumer_js_);
    natsConnection_Destroy(publisher_);
    natsConnection_Destroy(consumer_);
  }

  // Message n, following message n - 1, as the out bridge publishes record n.
  natsStatus publish(int32_t n) {
    natsMsg* message = nullptr;
    char record[kRecordBytes] = {};
    std::string id = id_ + ":" + std::to_string(n);
    std::string number = std::to_string(n);
    natsStatus status = natsMsg_Create(&message, subject_.c_str(), nullptr, record, sizeof record);
    if (status == NATS_OK) status = natsMsgHeader_Set(message, "Nats-Msg-Id", id.c_str());
    if (status == NATS_OK) status = natsMsgHeader_Set(message, "Zeb-Record", number.c_str());
    jsPubOptions options;
    jsPubOptions_Init(&options);
    if (n == 1)
      options.ExpectNoMessage = true;
    else
      options.ExpectLastSubjectSeq = static_cast<uint64_t>(n - 1);
    options.MaxWait = kWaitMs;
    if (status == NATS_OK) status = js_PublishMsgAsync(js_, &message, &options);
    natsMsg_Destroy(message);
    return status;
  }

  // Waits for the delivery of message n.
  natsStatus deliver(int32_t n) {
    natsMsg* message = nullptr;
    natsStatus status = natsSubscription_NextMsg(&message, subscription_, kWaitMs);
    if (status == NATS_OK && natsMsg_GetDataLength(message) != kRecordBytes) status = NATS_ERR;
    uint64_t sequence = 0;
    jsMsgMetaData* meta = nullptr;
    if (status == NATS_OK && natsMsg_GetMetaData(&meta, message) == NATS_OK) sequence = meta->Sequence.Stream;
    jsMsgMetaData_Destroy(meta);
    natsMsg_Destroy(message);
    if (status == NATS_OK && sequence != static_cast<uint64_t>(n)) status = NATS_ERR;
    return status;
  }

  // Waits until every publish was answered.
  natsStatus answered() {
    jsPubOptions options;
    jsPubOptions_Init(&options);
    options.MaxWait = kWaitMs;
    return js_PublishAsyncComplete(js_, &options);
  }

  std::string error;

 private:
  std::string id_;
  std::string stream_;
  std::string subject_;
  natsConnection* publisher_ = nullptr;
  natsConnection* consumer_ = nullptr;
  jsCtx* js_ = nullptr;
  jsCtx* consumer_js_ = nullptr;
  natsSubscription* subscription_ = nullptr;
};

}  // namespace

Latency measure_jetstream_latency(const std::string& url, int32_t messages) {
  Latency result;
  Pair pair(url);
  result.error = pair.error;
  std::vector<double> latencies;
  for (int32_t n = 1; n <= messages && result.error.empty(); ++n) {
    int64_t started = now_ns();
    natsStatus status = pair.publish(n);
    if (status == NATS_OK) status = pair.deliver(n);
    latencies.push_back(static_cast<double>(now_ns() - started));
    if (status == NATS_OK) status = pair.answered();
    if (status != NATS_OK) result.error = failed("message " + std::to_string(n), status);
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  if (!result.error.empty()) return result;
  std::sort(latencies.begin(), latencies.end());
  result.median_ns = latencies[latencies.size() / 2];
  result.p99_ns = latencies[(latencies.size() * 99 + 99) / 100 - 1];
  result.max_ns = latencies.back();
  return result;
}

Carry measure_jetstream_carry(const std::string& url, int32_t messages) {
  Carry result;
  Pair pair(url);
  result.error = pair.error;
  if (!result.error.empty()) return result;
  natsStatus delivered = NATS_OK;
  int64_t last_delivered = 0;
  std::thread consumer([&] {
    for (int32_t n = 1; n <= messages && delivered == NATS_OK; ++n) delivered = pair.deliver(n);
    last_delivered = now_ns();
  });
  int64_t started = now_ns();
  natsStatus status = NATS_OK;
  for (int32_t n = 1; n <= messages && status == NATS_OK; ++n) status = pair.publish(n);
  if (status == NATS_OK) status = pair.answered();
  consumer.join();
  if (status != NATS_OK) result.error = failed("publishing", status);
  if (delivered != NATS_OK) result.error = failed("delivering", delivered);
  result.seconds = (last_delivered - started) / 1e9;
  return result;
}

}  // namespace zeb::bench
