#include "cli/cli_prediction.hpp"

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <new>
#include <system_error>

#include "nn/multi_layer_perceptron.hpp"

namespace {

// Characters of a UTF-8 text, or -1 when it is not valid UTF-8 (the window's entries only
// ever hold valid UTF-8).
long utf8_characters(const std::string &text) {
  long count = 0;
  for (std::size_t i = 0; i < text.size(); ++count) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t extra;
    if (c < 0x80) {
      extra = 0;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
    } else {
      return -1;
    }
    if (text.size() - i <= extra) return -1;
    for (std::size_t k = 1; k <= extra; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return -1;
    }
    i += extra + 1;
  }
  return count;
}

std::string network_path(const char *ptp_dir, const std::string &nid, int index) {
  return std::string(ptp_dir) + "/" + nid + "_m" + std::to_string(index) + ".tp";
}

}  // namespace

std::string check_entry_texts(const cli_form *form) {
  for (int i = 0; i < 8; ++i) {
    const std::string &text = form->texts[i];
    const long characters = utf8_characters(text);
    if (characters < 0) return std::string(cli_entry_names[i]) + " is not valid UTF-8 text";
    if (static_cast<std::size_t>(characters) > cli_entry_limits[i]) {
      std::string shown = text.size() <= 16 ? " \"" + text + "\"" : std::string();
      return std::string(cli_entry_names[i]) + shown + " has " + std::to_string(characters) +
             " characters; its entry admits " + std::to_string(cli_entry_limits[i]);
    }
  }
  return std::string();
}

std::vector<std::string> batch_columns() {
  std::vector<std::string> columns = {"shiny"};
  columns.insert(columns.end(), std::begin(cli_entry_names), std::end(cli_entry_names));
  return columns;
}

void read_batch_form(csv_row *row, cli_form *form) {
  if (!row->error.empty()) return;
  const std::string &shiny = row->fields[0];
  if (shiny != "0" && shiny != "1") {
    // A long value is not repeated: the message should stay one readable line.
    row->error =
        "shiny must be 0 or 1" + (shiny.size() <= 16 ? ", not \"" + shiny + "\"" : std::string());
    return;
  }
  form->is_shiny = shiny == "1";
  for (int i = 0; i < 8; ++i)
    form->texts[i].assign(row->fields[i + 1]);  // the row keeps its buffers
  row->error = check_entry_texts(form);
}

cli_prediction run_prediction(const cli_form *form, const char *ptp_dir, std::FILE *diagnostics) {
  cli_prediction p;
  p.model.reset(create_app_model());
  if (!p.model) return p;
  const std::string *t = form->texts;
  p.status = predict_price(p.model.get(), form->is_shiny, t[0].c_str(), t[1].c_str(), t[2].c_str(),
                           t[3].c_str(), t[4].c_str(), t[5].c_str(), t[6].c_str(), t[7].c_str(),
                           ptp_dir, diagnostics);
  p.shown = compose_view_texts(p.model.get(), p.status, view_texts{});
  return p;
}

struct batch_pricer {
  std::string ptp_dir;
};

batch_pricer *create_batch_pricer(const char *ptp_dir) {
  return new (std::nothrow) batch_pricer{ptp_dir};
}

void free_batch_pricer(batch_pricer *b) {
  delete b;
}

void price_form(batch_pricer *b, const cli_form *form, std::FILE *diagnostics, cli_prediction *p) {
  if (p->model) {
    *p->model = app_model{};
  } else {
    p->model.reset(create_app_model());
  }
  p->status = PREDICTION_FAILED;
  if (p->model) {
    const std::string *t = form->texts;
    p->status = predict_price(p->model.get(), form->is_shiny, t[0].c_str(), t[1].c_str(),
                              t[2].c_str(), t[3].c_str(), t[4].c_str(), t[5].c_str(), t[6].c_str(),
                              t[7].c_str(), b->ptp_dir.c_str(), diagnostics);
  }
  static const app_model initial{};
  p->shown = compose_view_texts(p->model ? p->model.get() : &initial, p->status, view_texts{});
}

std::string failure_reason(const cli_form *form, const char *ptp_dir) {
  std::array<perceptron_ptr, 3> networks;
  for (int i = 1; i <= 3; ++i) {
    const std::string path = network_path(ptp_dir, form->texts[0], i);
    std::FILE *file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return "cannot open " + path + ": " + std::strerror(errno);
    std::fclose(file);
    networks[i - 1].reset(load_perceptron(path.c_str()));
    if (networks[i - 1] == nullptr) {
      return "the network " + path +
             " cannot be used: damaged, of another shape, or memory ran out";
    }
  }
  return "the networks " + network_path(ptp_dir, form->texts[0], 1) +
         " (and _m2, _m3) cannot be used together: their shapes do not fit, or a network "
         "gave an output that is not a price";
}

std::string default_ptp_dir(std::string *how) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (fs::exists("./ptp", ec)) {
    *how = "working folder";
    return "./ptp";
  }
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path installed =
        (exe.parent_path() / ".." / "share" / "orvanta" / "ptp").lexically_normal();
    if (fs::is_directory(installed, ec)) {
      *how = "installed networks; there is no ./ptp in the working folder";
      return installed.string();
    }
  }
  *how = "neither ./ptp nor installed networks were found";
  return "./ptp";
}
