// Every number text of the program is written and read with the point as
// decimal separator, whatever the user's locale says.
#pragma once

// Call after the application object exists: creating it adopts the user's
// locale for every category, numbers included.
void use_point_as_decimal_separator();
