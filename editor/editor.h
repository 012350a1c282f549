// editor module public header.
#pragma once
