#include "nats_link.h"

#include <algorithm>
#include <cstring>

#include "command_line.h"
#include "number_text.h"

namespace zebbridge {

namespace {

constexpr const char* kMsgIdHeader = "Nats-Msg-Id";
// The record number, which the message id also carries after the channel id.
constexpr const char* kRecordHeader = "Zeb-Record";
constexpr int64_t kNanosecondsPerMs = 1000000;
// A retried publish within this window is recognised as the same message.
constexpr int64_t kDuplicateWindowMs = 10 * 60 * 1000;
// How long a call or a publish waits for the server's answer before it
// counts as failed.
constexpr int64_t kRequestWaitMs = 3000;
// The longest pause between two reconnect attempts.
constexpr int64_t kMaxReconnectDelayMs = 2000;

// The client keeps, per thread, the text of the last failure that gave one;
// a later failure that gives none (a timeout, no responders) leaves it
// there. So the text is this failure's only when it came with this status.
std::string describe(const std::string& what, natsStatus status, jsErrCode code = static_cast<jsErrCode>(0)) {
  std::string text = what + ": " + natsStatus_GetText(status);
  natsStatus recorded = NATS_OK;
  const char* detail = nats_GetLastError(&recorded);
  if (recorded != status) detail = nullptr;
  // The client puts where in its source it noticed the error first: "(conn.c:1905): ".
  if (detail != nullptr && detail[0] == '(' && std::strstr(detail, "): ") != nullptr)
    detail = std::strstr(detail, "): ") + 3;
  if (detail != nullptr && detail[0] != '\0' && std::strcmp(detail, natsStatus_GetText(status)) != 0)
    text += std::string(" (") + detail + ")";
  if (code != 0) text += " [JetStream error " + std::to_string(static_cast<int>(code)) + "]";
  return text;
}

void check_option(natsStatus status, const char* what) {
  if (status != NATS_OK) tools::fail(describe(what, status));
}

// Reconnects back off from 50 ms to the bound, so a server that is down a
// long time costs little and one that returns is met again within it.
int64_t reconnect_delay(natsConnection*, int attempts, void*) {
  int64_t delay = 50;
  for (int i = 1; i < attempts && delay < kMaxReconnectDelayMs; ++i) delay *= 2;
  return std::min(delay, kMaxReconnectDelayMs);
}

std::string message_id(const std::string& channel, int32_t number) {
  return channel + ":" + std::to_string(number);
}

// Reads a message of the channel's stream as a record; the error names the
// sequence and what is wrong when it is none.
Outcome read_record_message(natsMsg* message, const BridgeConfig& config, StoredRecord& found) {
  auto wrong = [&](const std::string& what) {
    return Outcome{Outcome::not_a_record, "sequence " + std::to_string(found.sequence) + " of stream " +
                                              config.stream() + " is not a record of channel " + config.channel +
                                              ": " + what};
  };
  const char* number_text = nullptr;
  const char* id = nullptr;
  if (natsMsgHeader_Get(message, kRecordHeader, &number_text) != NATS_OK) return wrong("no record number");
  if (natsMsgHeader_Get(message, kMsgIdHeader, &id) != NATS_OK) return wrong("no message id");
  found.number = zeb::parse_number(number_text);
  if (found.number <= 0) return wrong(std::string("record number \"") + number_text + "\"");
  if (message_id(config.channel, found.number) != id) return wrong(std::string("message id \"") + id + "\"");
  if (natsMsg_GetDataLength(message) != static_cast<int>(sizeof found.record))
    return wrong(std::to_string(natsMsg_GetDataLength(message)) + " bytes");
  std::memcpy(&found.record, natsMsg_GetData(message), sizeof found.record);
  return {Outcome::ok, ""};
}

}  // namespace

std::string stream_description(const std::string& master) {
  return "zeb channel of master " + master;
}

NatsLink::NatsLink(const BridgeConfig& config) : config_(config) {
  check_option(natsOptions_Create(&options_), "cannot set up the NATS client");
  std::vector<const char*> url_texts;
  for (const std::string& url : config.servers) url_texts.push_back(url.c_str());
  check_option(natsOptions_SetServers(options_, url_texts.data(), static_cast<int>(url_texts.size())),
               "bad --server");
  std::string name = std::string("zebbridge ") + config.mode_name() + " " + config.channel;
  check_option(natsOptions_SetName(options_, name.c_str()), "cannot name the connection");
  check_option(natsOptions_SetMaxReconnect(options_, -1), "cannot set reconnects");
  check_option(natsOptions_SetCustomReconnectDelay(options_, reconnect_delay, nullptr), "cannot set reconnects");
  check_option(natsOptions_SetReconnectedCB(options_, on_connected, this), "cannot set reconnects");
  check_option(natsOptions_SetDisconnectedCB(options_, on_disconnected, this), "cannot set reconnects");
  // A silent peer (a cable pulled rather than a process killed) is noticed
  // within about ten seconds.
  check_option(natsOptions_SetPingInterval(options_, 5000), "cannot set pings");
  check_option(natsOptions_SetMaxPingsOut(options_, 2), "cannot set pings");
  check_option(natsOptions_SetTimeout(options_, 2000), "cannot set the connect timeout");

  const Credentials& c = config.credentials;
  if (!c.user.empty())
    check_option(natsOptions_SetUserInfo(options_, c.user.c_str(), c.password.c_str()), "bad user");
  if (!c.token.empty()) check_option(natsOptions_SetToken(options_, c.token.c_str()), "bad token");
  if (!c.creds_file.empty())
    check_option(natsOptions_SetUserCredentialsFromFiles(options_, c.creds_file.c_str(), nullptr),
                 "cannot use the credentials file");
  if (c.tls) check_option(natsOptions_SetSecure(options_, true), "cannot use TLS");
  if (!c.tls_ca.empty())
    check_option(natsOptions_LoadCATrustedCertificates(options_, c.tls_ca.c_str()),
                 "cannot load the TLS CA certificates");
  if (!c.tls_cert.empty())
    check_option(natsOptions_LoadCertificatesChain(options_, c.tls_cert.c_str(), c.tls_key.c_str()),
                 "cannot load the TLS certificate and key");

  connect();
}

NatsLink::~NatsLink() {
  disconnect();
  natsOptions_Destroy(options_);
}

void NatsLink::connect() {
  // A first attempt of its own says why a server refuses the bridge (wrong
  // credentials, TLS), which the client's attempts in the background do not.
  check_option(natsOptions_SetRetryOnFailedConnect(options_, false, nullptr, nullptr), "cannot set reconnects");
  natsStatus status = natsConnection_Connect(&connection_, options_);
  connect_error_.clear();
  if (status != NATS_OK) {
    connect_error_ = describe("cannot connect", status);
    // Then the client keeps trying in the background.
    check_option(natsOptions_SetRetryOnFailedConnect(options_, true, on_connected, this), "cannot set reconnects");
    status = natsConnection_Connect(&connection_, options_);
    if (status != NATS_OK && status != NATS_NOT_YET_CONNECTED) tools::fail(describe("cannot connect", status));
  }
  if (status == NATS_OK) connected_ = true;
  jsOptions js_options;
  jsOptions_Init(&js_options);
  js_options.Wait = kRequestWaitMs;
  // Through a domain, the JetStream requests go to "$JS.<domain>.API", which
  // a leaf node server passes on to the hub's JetStream.
  if (!config_.domain.empty()) js_options.Domain = config_.domain.c_str();
  js_options.PublishAsync.AckHandler = on_publish_answer;
  js_options.PublishAsync.AckHandlerClosure = this;
  check_option(natsConnection_JetStream(&js_, connection_, &js_options), "cannot use JetStream");
}

void NatsLink::disconnect() {
  unsubscribe();
  if (js_ != nullptr) take_back_unanswered();
  jsCtx_Destroy(js_);
  js_ = nullptr;
  natsConnection_Destroy(connection_);
  connection_ = nullptr;
}

void NatsLink::take_back_unanswered() {
  {
    std::lock_guard<std::mutex> lock(answers_mutex_);
    if (in_flight_ == 0) return;
  }
  // Publishes still unanswered are taken back, so no answer comes for them
  // any more; then the answers being handed over are waited for. (The
  // client keeps no list of them before the first publish.)
  natsMsgList pending;
  if (js_PublishAsyncGetPendingList(&pending, js_) == NATS_OK) natsMsgList_Destroy(&pending);
  jsPubOptions options;
  jsPubOptions_Init(&options);
  options.MaxWait = kRequestWaitMs;
  js_PublishAsyncComplete(js_, &options);
  std::lock_guard<std::mutex> lock(answers_mutex_);
  answers_.clear();
  PublishAck lost;
  lost.outcome = {Outcome::failed, "the connection ended with publishes unanswered"};
  answers_.push_back(lost);
  in_flight_ = 0;
}

Outcome NatsLink::usable() {
  natsConnStatus status = natsConnection_Status(connection_);
  if (status == NATS_CONN_STATUS_CONNECTED) {
    connect_error_.clear();
    return {Outcome::ok, ""};
  }
  std::string text = "not connected to the server";
  const char* last_error = nullptr;
  if (!connect_error_.empty())
    text += " (" + connect_error_ + ")";
  else if (natsConnection_GetLastError(connection_, &last_error) != NATS_OK && last_error != nullptr &&
           last_error[0] != '\0')
    text += std::string(": ") + last_error;
  // The client gives up on a server that refused it (wrong credentials, for
  // instance); the bridge does not, and starts a connection afresh.
  if (status == NATS_CONN_STATUS_CLOSED) {
    disconnect();
    connect();
  }
  return {Outcome::failed, text};
}

void NatsLink::on_connected(natsConnection*, void* link) {
  static_cast<NatsLink*>(link)->connected_ = true;
}

void NatsLink::on_disconnected(natsConnection*, void* link) {
  static_cast<NatsLink*>(link)->disconnected_ = true;
}

Outcome NatsLink::stream(StreamFacts& facts) {
  Outcome link = usable();
  if (!link.is_ok()) return link;
  jsStreamInfo* info = nullptr;
  jsErrCode code = static_cast<jsErrCode>(0);
  natsStatus status = js_GetStreamInfo(&info, js_, config_.stream().c_str(), nullptr, &code);
  if (status != NATS_OK) {
    if (code == JSStreamNotFoundErr) return {Outcome::not_found, "stream " + config_.stream() + " not found"};
    return {Outcome::failed, describe("cannot look up the stream", status, code)};
  }
  facts = StreamFacts();
  for (int i = 0; i < info->Config->SubjectsLen; ++i) facts.subjects.push_back(info->Config->Subjects[i]);
  if (info->Config->Description != nullptr) facts.description = info->Config->Description;
  facts.first_sequence = info->State.FirstSeq;
  facts.last_sequence = info->State.LastSeq;
  jsStreamInfo_Destroy(info);
  return {Outcome::ok, ""};
}

Outcome NatsLink::create_stream(StreamFacts& facts) {
  std::string name = config_.stream();
  std::string subject = config_.subject();
  std::string description = stream_description(config_.master);
  const char* subjects[] = {subject.c_str()};
  jsStreamConfig stream_config;
  jsStreamConfig_Init(&stream_config);
  stream_config.Name = name.c_str();
  stream_config.Description = description.c_str();
  stream_config.Subjects = subjects;
  stream_config.SubjectsLen = 1;
  stream_config.Storage = js_FileStorage;
  stream_config.Replicas = config_.replicas;
  stream_config.Duplicates = kDuplicateWindowMs * kNanosecondsPerMs;
  jsStreamInfo* info = nullptr;
  jsErrCode code = static_cast<jsErrCode>(0);
  natsStatus status = js_AddStream(&info, js_, &stream_config, nullptr, &code);
  if (status != NATS_OK) return {Outcome::failed, describe("cannot create the stream", status, code)};
  jsStreamInfo_Destroy(info);
  return stream(facts);
}

Outcome NatsLink::last_record(StoredRecord& found) {
  return fetch_record(0, found);
}

Outcome NatsLink::record_at(uint64_t sequence, StoredRecord& found) {
  return sequence == 0 ? Outcome{Outcome::not_found, ""} : fetch_record(sequence, found);
}

Outcome NatsLink::fetch_record(uint64_t sequence, StoredRecord& found) {
  Outcome link = usable();
  if (!link.is_ok()) return link;
  natsMsg* message = nullptr;
  jsErrCode code = static_cast<jsErrCode>(0);
  natsStatus status =
      sequence == 0
          ? js_GetLastMsg(&message, js_, config_.stream().c_str(), config_.subject().c_str(), nullptr, &code)
          : js_GetMsg(&message, js_, config_.stream().c_str(), sequence, nullptr, &code);
  if (status != NATS_OK) {
    if (code == JSNoMessageFoundErr) return {Outcome::not_found, ""};
    std::string what = sequence == 0 ? "the stream's last record" : "sequence " + std::to_string(sequence);
    return {Outcome::failed, describe("cannot look up " + what, status, code)};
  }
  found = StoredRecord();
  found.sequence = natsMsg_GetSequence(message);
  Outcome outcome = read_record_message(message, config_, found);
  natsMsg_Destroy(message);
  return outcome;
}

Outcome NatsLink::publish(int32_t number, const zeb::TradeRecord& record, uint64_t expected_last) {
  Outcome link = usable();
  if (!link.is_ok()) return link;
  natsMsg* message = nullptr;
  std::string id = message_id(config_.channel, number);
  std::string number_text = std::to_string(number);
  natsStatus status = natsMsg_Create(&message, config_.subject().c_str(), nullptr,
                                     reinterpret_cast<const char*>(&record), sizeof record);
  if (status == NATS_OK) status = natsMsgHeader_Set(message, kMsgIdHeader, id.c_str());
  if (status == NATS_OK) status = natsMsgHeader_Set(message, kRecordHeader, number_text.c_str());
  jsPubOptions options;
  jsPubOptions_Init(&options);
  // "No message on the subject": also right for a stream that was purged.
  if (expected_last == 0)
    options.ExpectNoMessage = true;
  else
    options.ExpectLastSubjectSeq = expected_last;
  options.MaxWait = kRequestWaitMs;
  {
    // Counted first, so that an answer that comes at once finds it counted.
    std::lock_guard<std::mutex> lock(answers_mutex_);
    ++in_flight_;
  }
  if (status == NATS_OK) status = js_PublishMsgAsync(js_, &message, &options);
  // The client owns the message once it took it, and left `message` null.
  natsMsg_Destroy(message);
  if (status == NATS_OK) return {Outcome::ok, ""};
  std::lock_guard<std::mutex> lock(answers_mutex_);
  --in_flight_;
  return {Outcome::failed, describe("cannot publish record " + number_text, status)};
}

void NatsLink::on_publish_answer(jsCtx*, natsMsg* message, jsPubAck* ack, jsPubAckErr* error, void* link) {
  PublishAck answer;
  const char* number_text = nullptr;
  if (natsMsgHeader_Get(message, kRecordHeader, &number_text) == NATS_OK) answer.number = zeb::parse_number(number_text);
  natsMsg_Destroy(message);
  if (ack != nullptr) {
    answer.outcome = {Outcome::ok, ""};
    answer.sequence = ack->Sequence;
    answer.duplicate = ack->Duplicate;
  } else {
    std::string text = "cannot publish record " + std::to_string(answer.number) + ": " +
                       (error->ErrText != nullptr ? error->ErrText : natsStatus_GetText(error->Err));
    if (error->ErrCode != 0) text += " [JetStream error " + std::to_string(static_cast<int>(error->ErrCode)) + "]";
    bool wrong_last = error->ErrCode == JSStreamWrongLastSequenceErr;
    answer.outcome = {wrong_last ? Outcome::unexpected_last : Outcome::failed, text};
  }
  NatsLink* self = static_cast<NatsLink*>(link);
  std::lock_guard<std::mutex> lock(self->answers_mutex_);
  // An answer the client was already handing over when the publishes were
  // taken back is counted no more.
  if (self->in_flight_ > 0) --self->in_flight_;
  self->answers_.push_back(answer);
  self->answer_came_.notify_one();
}

void NatsLink::send_now() {
  // The client sends what it buffered along with a PING, and the server's
  // PONG comes once it has read everything before: a millisecond's wait at
  // most, whatever the round trip.
  natsConnection_FlushTimeout(connection_, 1);
}

bool NatsLink::take_ack(PublishAck& ack) {
  std::lock_guard<std::mutex> lock(answers_mutex_);
  if (answers_.empty()) return false;
  ack = answers_.front();
  answers_.pop_front();
  return true;
}

void NatsLink::wait_for_ack(std::chrono::microseconds timeout) {
  std::unique_lock<std::mutex> lock(answers_mutex_);
  answer_came_.wait_for(lock, timeout, [this] { return !answers_.empty(); });
}

size_t NatsLink::unanswered() {
  std::lock_guard<std::mutex> lock(answers_mutex_);
  return in_flight_ + answers_.size();
}

Outcome NatsLink::subscribe(uint64_t first) {
  Outcome link = usable();
  if (!link.is_ok()) return link;
  unsubscribe();
  std::string stream = config_.stream();
  jsSubOptions options;
  jsSubOptions_Init(&options);
  // An ordered consumer: ephemeral, no acknowledgements, one message after
  // the other with flow control. The client library's own ordered consumer
  // starts itself again from a thread of its own, which races with ending
  // the subscription; the bridge does the starting again itself instead,
  // from its saved position, whenever a message is missing.
  options.Stream = stream.c_str();
  options.Config.DeliverPolicy = js_DeliverByStartSequence;
  options.Config.OptStartSeq = first;
  options.Config.AckPolicy = js_AckNone;
  options.Config.FlowControl = true;
  // Heartbeats tell a consumer lost with a restarted server within seconds.
  options.Config.Heartbeat = 1000 * kNanosecondsPerMs;
  jsErrCode code = static_cast<jsErrCode>(0);
  natsStatus status = js_SubscribeSync(&subscription_, js_, config_.subject().c_str(), nullptr, &options, &code);
  if (status != NATS_OK) {
    subscription_ = nullptr;
    return {Outcome::failed, describe("cannot subscribe to the stream", status, code)};
  }
  return {Outcome::ok, ""};
}

void NatsLink::unsubscribe() {
  if (subscription_ == nullptr) return;
  natsSubscription_Unsubscribe(subscription_);
  natsSubscription_Destroy(subscription_);
  subscription_ = nullptr;
}

Outcome NatsLink::next(int timeout_ms, StoredRecord& next) {
  natsMsg* message = nullptr;
  natsStatus status = natsSubscription_NextMsg(&message, subscription_, timeout_ms);
  if (status == NATS_TIMEOUT) return {Outcome::timed_out, ""};
  if (status != NATS_OK) return {Outcome::failed, describe("the subscription broke off", status)};
  jsMsgMetaData* meta = nullptr;
  status = natsMsg_GetMetaData(&meta, message);
  if (status != NATS_OK) {
    natsMsg_Destroy(message);
    return {Outcome::failed, describe("a message without its stream sequence", status)};
  }
  next = StoredRecord();
  next.sequence = meta->Sequence.Stream;
  next.pending = meta->NumPending;
  jsMsgMetaData_Destroy(meta);
  Outcome outcome = read_record_message(message, config_, next);
  natsMsg_Destroy(message);
  return outcome;
}

}  // namespace zebbridge
