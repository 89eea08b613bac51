package web;

import java.net.URI;
import java.net.http.HttpClient;
import java.net.http.HttpRequest;
import java.net.http.HttpResponse;
import java.time.Duration;
import org.springframework.boot.SpringApplication;
import org.springframework.boot.autoconfigure.SpringBootApplication;
import org.springframework.boot.context.properties.ConfigurationPropertiesScan;
import org.springframework.boot.web.servlet.context.ServletWebServerApplicationContext;
import org.springframework.context.ConfigurableApplicationContext;

@SpringBootApplication
@ConfigurationPropertiesScan
public class WebApp {
  public static void main(String[] args) throws Exception {
    ConfigurableApplicationContext context = SpringApplication.run(WebApp.class, args);
    int port = ((ServletWebServerApplicationContext) context).getWebServer().getPort();
    HttpClient client = HttpClient.newBuilder().connectTimeout(Duration.ofSeconds(10)).build();
    HttpRequest request = HttpRequest.newBuilder(URI.create("http://127.0.0.1:" + port + "/greet?name=Linus"))
                              .timeout(Duration.ofSeconds(20)).build();
    HttpResponse<String> response = client.send(request, HttpResponse.BodyHandlers.ofString());
    System.out.println("status " + response.statusCode());
    System.out.println(response.body());
    System.out.println("properties: " + context.getBean(GreetingProperties.class));
    System.out.println("controllers: " + context.getBeanNamesForAnnotation(
        org.springframework.web.bind.annotation.RestController.class).length);
    System.exit(SpringApplication.exit(context, () -> 0));
  }
}
