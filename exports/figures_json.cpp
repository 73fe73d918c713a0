#include "exports/figures_json.h"

#include <sstream>

namespace {

// "name": value pairs of one JSON object, a figure that is absent as null.
class JsonObject {
 public:
  void add(const char* key, const std::string& text) {
    out_ << (first_ ? "{" : ", ") << '"' << key << "\": " << text;
    first_ = false;
  }
  void add(const char* key, double value, bool available = true) {
    add(key, available ? json_number(value) : std::string("null"));
  }
  std::string close() { return out_.str() + (first_ ? "{}" : "}"); }

 private:
  std::ostringstream out_;
  bool first_ = true;
};

}  // namespace

std::string surface_figures_json(int channel, const SurfaceFigures& f) {
  JsonObject o;
  o.add("channel", std::to_string(channel));
  const SphereFigure sphere = f.sphere.value_or(SphereFigure{});
  o.add("fit_radius_mm", sphere.radius_mm, f.sphere.has_value());
  o.add("fit_power_D", sphere.power_D, f.sphere.has_value());
  o.add("apex_x_mm", sphere.apex_x_mm, f.sphere.has_value());
  o.add("apex_y_mm", sphere.apex_y_mm, f.sphere.has_value());
  o.add("fit_rms_um", sphere.rms_um, f.sphere.has_value());
  const ConicFigure conic = f.conic.value_or(ConicFigure{});
  o.add("apical_flat_mm", conic.flat_radius_mm, f.conic.has_value());
  o.add("apical_steep_mm", conic.steep_radius_mm, f.conic.has_value());
  o.add("apical_axis_deg", conic.axis_deg.value_or(0.0), conic.axis_deg.has_value());
  o.add("conic_q", conic.q, f.conic.has_value());
  o.add("conic_rms_um", conic.rms_um, f.conic.has_value());
  const KeratometryResult k = f.keratometry.value_or(KeratometryResult{});
  o.add("flat_radius_mm", k.flat_radius, f.keratometry.has_value());
  o.add("steep_radius_mm", k.steep_radius, f.keratometry.has_value());
  o.add("flat_k_D", k.flat_power, f.keratometry.has_value());
  o.add("steep_k_D", k.steep_power, f.keratometry.has_value());
  o.add("axis_deg", k.axis_deg.value_or(0.0), k.axis_deg.has_value());
  std::ostringstream terms;
  terms << '[';
  if (f.zernike) {
    const std::vector<double>& c = f.zernike->coefficients_um;
    for (std::size_t j = 0; j < c.size(); ++j) {
      const ZernikeIndex nm = zernike_nm(static_cast<int>(j));
      const std::string name = zernike_name(static_cast<int>(j));
      terms << (j == 0 ? "" : ", ") << "{\"j\": " << j << ", \"n\": " << nm.n << ", \"m\": " << nm.m
            << ", \"name\": " << (name.empty() ? "null" : json_string(name))
            << ", \"um\": " << json_number(c[j]) << '}';
    }
  }
  terms << ']';
  o.add("zernike", f.zernike ? terms.str() : std::string("null"));
  o.add("zernike_rms_um", f.zernike ? f.zernike->rms_um : 0.0, f.zernike.has_value());
  // The corneal aberrations (OSA/ANSI) and the screening indices.
  const bool a = f.aberrations.has_value();
  const CornealAberrations ab = f.aberrations.value_or(CornealAberrations{});
  o.add("pupil_mm", ab.pupil_diameter_mm, a);
  std::ostringstream osa;
  osa << '[';
  for (std::size_t j = 0; j < ab.coefficients_um.size(); ++j) osa << (j == 0 ? "" : ", ") << json_number(ab.coefficients_um[j]);
  osa << ']';
  o.add("osa_um", a ? osa.str() : std::string("null"));
  o.add("hoa_rms_um", ab.higher_order_rms_um, a);
  o.add("spherical_um", ab.spherical_um, a);
  o.add("coma_um", ab.coma_um, a);
  o.add("trefoil_um", ab.trefoil_um, a);
  const bool i = f.indices.has_value();
  const KeratoconusIndices ki = f.indices.value_or(KeratoconusIndices{});
  const auto category = [i](IndexCategory c, bool srax = false) {
    return i ? json_string(index_category_name(c, srax)) : std::string("null");
  };
  o.add("central_k_D", ki.central_k_D, i);
  o.add("central_k_category", category(ki.central_k_category));
  o.add("i_s_D", ki.i_s_D, i);
  o.add("i_s_category", category(ki.i_s_category));
  o.add("srax_deg", ki.srax_deg, i);
  o.add("srax_category", category(ki.srax_category, true));
  o.add("ast_D", ki.ast_D, i);
  o.add("kisa_percent", ki.kisa_percent, i);
  o.add("kisa_category", category(ki.kisa_category));
  return o.close();
}

