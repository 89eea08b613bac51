package web.lib;

import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import org.springframework.core.env.Environment;
import org.springframework.web.bind.annotation.GetMapping;
import org.springframework.web.bind.annotation.RequestParam;
import org.springframework.web.bind.annotation.RestController;

// Lives in another jar than the application class; component scanning of "web" finds it.
@RestController
public class GreetingController {
  private final Environment env;

  public GreetingController(Environment env) {
    this.env = env;
  }

  @GetMapping("/greet")
  public Map<String, Object> greet(@RequestParam String name) {
    List<String> names = new ArrayList<>(List.of(env.getProperty("greeting.names", String[].class)));
    names.add(name);
    Map<String, Object> body = new TreeMap<>();
    body.put("text", env.getProperty("greeting.text"));
    body.put("names", names);
    return body;
  }
}
