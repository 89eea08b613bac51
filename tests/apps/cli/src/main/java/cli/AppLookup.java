package cli;

import org.apache.logging.log4j.core.LogEvent;
import org.apache.logging.log4j.core.config.plugins.Plugin;
import org.apache.logging.log4j.core.lookup.StrLookup;

// ${app:KEY} in the configuration: found only through this jar's plugin index.
@Plugin(name = "app", category = StrLookup.CATEGORY)
public final class AppLookup implements StrLookup {
  @Override
  public String lookup(String key) {
    return "app-" + key;
  }

  @Override
  public String lookup(LogEvent event, String key) {
    return lookup(key);
  }
}
