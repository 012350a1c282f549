// image module public header.
#pragma once
