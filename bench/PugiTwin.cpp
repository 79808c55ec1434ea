#include "PugiTwin.h"

#include <pugixml.hpp>

namespace vesk::bench {
namespace {

struct StringWriter : pugi::xml_writer {
  std::string text;
  void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

std::string Write(const pugi::xml_node& node) {
  StringWriter writer;
  node.print(writer, "", pugi::format_raw | pugi::format_no_declaration);
  return std::move(writer.text);
}

}  // namespace

std::string PugiRoundTrip(const std::string& envelope, int read_values,
                          const std::vector<std::pair<std::string, std::string>>& children,
                          const std::vector<std::string>& record) {
  pugi::xml_document request;
  request.load_buffer(envelope.data(), envelope.size(), pugi::parse_default, pugi::encoding_utf8);
  const pugi::xml_node root = request.document_element();
  const std::string target = root.child("plugin").text().get();
  const std::string method = root.child("method").text().get();
  const std::string params_text = Write(root.child("params"));

  pugi::xml_document params;
  params.load_buffer(params_text.data(), params_text.size(), pugi::parse_default, pugi::encoding_utf8);
  std::string values;
  pugi::xml_node value = params.document_element().child("sett").child("s");
  for (int i = 0; i < read_values && value; ++i, value = value.next_sibling("s")) values += value.text().get();

  pugi::xml_document reply;
  pugi::xml_node result = reply.append_child("result");
  for (const auto& [name, text] : children) result.append_child(name.c_str()).text().set(text.c_str());
  if (!record.empty()) {
    pugi::xml_node sett = result.append_child("sett");
    for (const std::string& s : record) sett.append_child("s").text().set(s.c_str());
  }
  return Write(result) + (target.empty() || method.empty() ? values : std::string());
}

}  // namespace vesk::bench
