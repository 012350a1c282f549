// platform module public header.
#pragma once
