#include "tests/support/model_station.h"

#include <stdexcept>

#include "tests/support/release_text.h"

namespace zelt20::test {

ModelStation::ModelStation(sim::StationSetup setup, const std::vector<std::string>& faults) {
  std::vector<sim::Fault> parsed;
  for (const std::string& text : faults) {
    const auto fault = sim::ParseFault(text);
    if (!fault) throw std::invalid_argument(text + ": " + fault.Reason());
    parsed.push_back(*fault);
  }
  station_ = std::make_unique<sim::StationModel>(setup, parsed);
  line.SetDefaultAnswer([this](const Bytes& request) {
    sim::StationAnswer answer = station_->HandleRequest(request);
    answer.bytes.insert(answer.bytes.end(), answer.after_deaf.begin(), answer.after_deaf.end());
    return answer.bytes;
  });
}

sim::StationSetup FullpackCurrent() {
  sim::StationSetup station;
  station.fullpack_version = BuiltInImage().FullpackVersionWord();
  return station;
}

}  // namespace zelt20::test
