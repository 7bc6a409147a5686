#include "prometheus_text.h"

#include "json_text.h"

namespace tools {

void PrometheusText::family(const std::string& name, const char* type, const std::string& help) {
  name_ = name;
  text_ += "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void PrometheusText::sample(const Labels& labels, int64_t value) {
  sample_line(labels, std::to_string(value));
}

void PrometheusText::sample(const Labels& labels, double value) {
  sample_line(labels, shortest_double(value));
}

void PrometheusText::sample_line(const Labels& labels, const std::string& value) {
  text_ += name_;
  for (size_t i = 0; i < labels.size(); ++i)
    text_ += (i == 0 ? "{" : ",") + labels[i].first + "=\"" + prometheus_label_value(labels[i].second) + "\"";
  text_ += (labels.empty() ? " " : "} ") + value + "\n";
}

std::string prometheus_label_value(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    unsigned char byte = static_cast<unsigned char>(text[i]);
    size_t sequence = byte < 0x80 ? 1 : utf8_sequence_length(text, i);
    if (byte == '\\' || byte == '"') {
      out += '\\';
      out += static_cast<char>(byte);
    } else if (byte == '\n') {
      out += "\\n";
    } else if (sequence == 0) {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
      sequence = 1;
    } else {
      out.append(text, i, sequence);
    }
    i += sequence;
  }
  return out;
}

}  // namespace tools
