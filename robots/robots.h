// robots module public header.
#pragma once
