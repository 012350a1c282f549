// The loaded track and the race on it.
#pragma once
