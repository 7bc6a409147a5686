#include "jetstream_view.h"

#include <nats/nats.h>

#include <functional>

namespace zeb::test {

namespace {

// Runs `use` with a JetStream context on a fresh connection; false when
// there was no connection.
bool with_jetstream(const std::string& url, const std::function<bool(jsCtx*)>& use) {
  natsConnection* connection = nullptr;
  jsCtx* js = nullptr;
  bool done = natsConnection_ConnectTo(&connection, url.c_str()) == NATS_OK &&
              natsConnection_JetStream(&js, connection, nullptr) == NATS_OK && use(js);
  jsCtx_Destroy(js);
  natsConnection_Destroy(connection);
  return done;
}

}  // namespace

StreamState stream_state(const std::string& url, const std::string& stream) {
  StreamState state;
  with_jetstream(url, [&](jsCtx* js) {
    jsStreamInfo* info = nullptr;
    if (js_GetStreamInfo(&info, js, stream.c_str(), nullptr, nullptr) != NATS_OK) return false;
    state = {true,
             info->State.Msgs,
             info->State.FirstSeq,
             info->State.LastSeq,
             info->Cluster != nullptr && info->Cluster->Leader != nullptr ? info->Cluster->Leader : "",
             info->Config->Replicas,
             info->Config->Storage == js_FileStorage,
             info->Config->Duplicates / 1000000000};
    jsStreamInfo_Destroy(info);
    return true;
  });
  return state;
}

bool create_stream(const std::string& url, const std::string& id, const std::string& master,
                   int64_t max_messages) {
  return with_jetstream(url, [&](jsCtx* js) {
    std::string name = "ZEB_" + id;
    std::string subject = "zeb.ch." + id;
    std::string description = "zeb channel of master " + master;
    const char* subjects[] = {subject.c_str()};
    jsStreamConfig config;
    jsStreamConfig_Init(&config);
    config.Name = name.c_str();
    config.Description = description.c_str();
    config.Subjects = subjects;
    config.SubjectsLen = 1;
    config.Storage = js_FileStorage;
    config.MaxMsgs = max_messages;
    config.Duplicates = int64_t{600} * 1000 * 1000 * 1000;
    jsStreamInfo* info = nullptr;
    if (js_AddStream(&info, js, &config, nullptr, nullptr) != NATS_OK) return false;
    jsStreamInfo_Destroy(info);
    return true;
  });
}

bool publish_record(const std::string& url, const std::string& id, int32_t number, const void* record) {
  return with_jetstream(url, [&](jsCtx* js) {
    natsMsg* message = nullptr;
    std::string message_id = id + ":" + std::to_string(number);
    bool done = natsMsg_Create(&message, ("zeb.ch." + id).c_str(), nullptr, static_cast<const char*>(record), 80) ==
                    NATS_OK &&
                natsMsgHeader_Set(message, "Nats-Msg-Id", message_id.c_str()) == NATS_OK &&
                natsMsgHeader_Set(message, "Zeb-Record", std::to_string(number).c_str()) == NATS_OK &&
                js_PublishMsg(nullptr, js, message, nullptr, nullptr) == NATS_OK;
    natsMsg_Destroy(message);
    return done;
  });
}

bool purge_stream(const std::string& url, const std::string& stream) {
  return with_jetstream(url, [&](jsCtx* js) { return js_PurgeStream(js, stream.c_str(), nullptr, nullptr) == NATS_OK; });
}

bool delete_stream(const std::string& url, const std::string& stream) {
  return with_jetstream(url, [&](jsCtx* js) { return js_DeleteStream(js, stream.c_str(), nullptr, nullptr) == NATS_OK; });
}

}  // namespace zeb::test
