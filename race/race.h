// race module public header.
#pragma once
