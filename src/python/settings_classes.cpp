// Relief, Globe and Hair: the settings of the lit renderings.
#include "hair/hair.hpp"
#include "image/globe.hpp"
#include "image/relief.hpp"
#include "python/classes.hpp"
#include "python/kit/settings_class.hpp"

namespace veldra::py {

PyObject* make_relief_class() {
  return make_settings_class<Relief>(
      "Relief",
      "Lighting and colour for a height map.\n\n"
      "The defaults are the glossy liquid look: billowing blobs, crimson, lit\n"
      "from the top left. Fields are tuned by eye.",
      {
          field<&Relief::shape>("shape", true),
          field<&Relief::palette>("palette", true),
          field<&Relief::light>("light"),
          field<&Relief::height>("height", true),
          field<&Relief::gamma>("gamma"),
          field<&Relief::occlusion>("occlusion"),
          field<&Relief::ambient>("ambient"),
          field<&Relief::diffuse>("diffuse"),
          field<&Relief::specular>("specular"),
          field<&Relief::gloss>("gloss"),
      });
}

PyObject* make_globe_class() {
  return make_settings_class<Globe>(
      "Globe", "Lighting and colour for a sphere carved out of a four dimensional field.",
      {
          field<&Globe::surface>("surface"),
          field<&Globe::rgb_from_fourth_axis>("rgb_from_fourth_axis"),
          field<&Globe::fill>("fill", true),
          field<&Globe::background>("background"),
          field<&Globe::samples>("samples", true),
      });
}

PyObject* make_hair_class() {
  return make_settings_class<Hair>(
      "Hair",
      "How a coat of hair is grown from particles in a two dimensional field.\n\n"
      "``count`` particles are dropped into the lattice and pushed around by it.\n"
      "``steps`` times ``step`` is how long each one is followed, and ``force``\n"
      "over ``drag`` is roughly how fast it goes.",
      {
          field<&Hair::count>("count", true),
          field<&Hair::steps>("steps", true),
          field<&Hair::step>("step"),
          field<&Hair::force>("force"),
          field<&Hair::drag>("drag"),
          field<&Hair::swirl>("swirl"),
          field<&Hair::thickness>("thickness"),
          field<&Hair::opacity>("opacity"),
          field<&Hair::frizz>("frizz"),
          field<&Hair::jitter>("jitter"),
          field<&Hair::depth>("depth"),
          field<&Hair::taper>("taper"),
          field<&Hair::light>("light"),
          field<&Hair::ambient>("ambient"),
          field<&Hair::diffuse>("diffuse"),
          field<&Hair::specular>("specular"),
          field<&Hair::gloss>("gloss"),
          field<&Hair::color_from_field>("color_from_field", true),
          field<&Hair::surface>("surface"),
          field<&Hair::palette>("palette"),
          field<&Hair::seed>("seed"),
      });
}

}  // namespace veldra::py
